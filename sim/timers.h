#pragma once
// One-shot timers for the single-threaded event loop.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Ms = std::chrono::milliseconds;

class Timers {
public:
    using Id = uint64_t;

    Id at(TimePoint when, std::function<void()> fn);
    Id after(Ms delay, std::function<void()> fn) { return at(Clock::now() + delay, std::move(fn)); }
    void cancel(Id id);
    void clear() { queue_.clear(); }
    std::optional<TimePoint> next() const;
    // Runs every timer that is due; timers added meanwhile wait for the next call.
    void runDue(TimePoint now);

private:
    std::map<std::pair<TimePoint, Id>, std::function<void()>> queue_;
    Id nextId_ = 1;
};

} // namespace sim
