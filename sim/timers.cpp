#include "timers.h"

namespace sim {

Timers::Id Timers::at(TimePoint when, std::function<void()> fn)
{
    const Id id = nextId_++;
    queue_.emplace(std::make_pair(when, id), std::move(fn));
    return id;
}

void Timers::cancel(Id id)
{
    for (auto it = queue_.begin(); it != queue_.end(); ++it)
        if (it->first.second == id) {
            queue_.erase(it);
            return;
        }
}

std::optional<TimePoint> Timers::next() const
{
    if (queue_.empty())
        return std::nullopt;
    return queue_.begin()->first.first;
}

void Timers::runDue(TimePoint now)
{
    const Id limit = nextId_;
    for (auto it = queue_.begin(); it != queue_.end() && it->first.first <= now;) {
        if (it->first.second >= limit) {
            ++it;
            continue;
        }
        auto fn = std::move(it->second);
        queue_.erase(it);
        fn();   // may add or cancel timers, so start over from the front
        it = queue_.begin();
    }
}

} // namespace sim
