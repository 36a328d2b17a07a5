#pragma once
// Reassembles frames from the serial byte stream on the box's side.

#include "timers.h"
#include "wire.h"

#include <functional>
#include <string>

namespace sim {

class FrameAssembler {
public:
    std::function<void(const uint8_t *frame, size_t n)> onFrame;
    std::function<void(const std::string &what)> onMalformed;

    void feed(const uint8_t *data, size_t n, TimePoint now);
    void reset();

private:
    void drop(const std::string &what);

    uint8_t buf_[kMaxFrame]{};
    size_t have_ = 0;
    size_t want_ = 0;
    size_t strayBytes_ = 0;
    TimePoint start_{};
};

} // namespace sim
