#pragma once
// Seeded, reproducible frame faults. Each direction has its own random stream
// and every frame draws the same number of values, so the fate of the n-th
// frame in or out depends only on the seed and n, not on timing.

#include <cstddef>
#include <cstdint>

namespace sim {

enum class Direction { In, Out };

struct FaultRates {
    double drop = 0;
    double corrupt = 0;     // one bit flipped
    double duplicate = 0;
};

struct FrameFate {
    bool drop = false;
    bool corrupt = false;
    size_t corruptBit = 0;  // bit index into the frame
    bool duplicate = false;
};

class FaultInjector {
public:
    FaultInjector(uint64_t seed, FaultRates in, FaultRates out);
    FrameFate next(Direction d, size_t frameBytes);
    bool any() const;

private:
    struct Stream {
        uint64_t state;
        FaultRates rates;
        uint64_t nextRaw();
        double nextUnit();
    };
    Stream in_, out_;
};

} // namespace sim
