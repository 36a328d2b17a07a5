#include "faults.h"

namespace sim {

FaultInjector::FaultInjector(uint64_t seed, FaultRates in, FaultRates out)
    : in_{seed ^ 0x6A09E667F3BCC908ull, in}, out_{seed ^ 0xBB67AE8584CAA73Bull, out}
{
}

// splitmix64: small, fast and the same on every platform and library.
uint64_t FaultInjector::Stream::nextRaw()
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double FaultInjector::Stream::nextUnit()
{
    return double(nextRaw() >> 11) * (1.0 / 9007199254740992.0);
}

FrameFate FaultInjector::next(Direction d, size_t frameBytes)
{
    Stream &s = d == Direction::In ? in_ : out_;
    FrameFate f;
    f.drop = s.nextUnit() < s.rates.drop;
    f.corrupt = s.nextUnit() < s.rates.corrupt;
    const uint64_t bitDraw = s.nextRaw();
    f.corruptBit = frameBytes ? size_t(bitDraw % (frameBytes * 8)) : 0;
    f.duplicate = s.nextUnit() < s.rates.duplicate;
    return f;
}

bool FaultInjector::any() const
{
    auto set = [](const FaultRates &r) { return r.drop > 0 || r.corrupt > 0 || r.duplicate > 0; };
    return set(in_.rates) || set(out_.rates);
}

} // namespace sim
