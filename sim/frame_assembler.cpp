#include "frame_assembler.h"

namespace sim {

namespace {
// The PC sends a frame in one write; one that is not complete this long after
// its first byte is lost (the same limit the PC applies to the box's frames).
constexpr Ms kFrameCompleteWithin{500};
} // namespace

void FrameAssembler::reset()
{
    have_ = want_ = strayBytes_ = 0;
}

void FrameAssembler::drop(const std::string &what)
{
    if (onMalformed)
        onMalformed(what);
    have_ = want_ = 0;
}

void FrameAssembler::feed(const uint8_t *data, size_t n, TimePoint now)
{
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        if (have_ > 0 && now - start_ > kFrameCompleteWithin)
            drop("frame not complete within 500 ms (" + std::to_string(have_) + " bytes)");
        if (have_ == 0) {
            if (b != 'K') {
                ++strayBytes_;
                continue;
            }
            if (strayBytes_) {
                const size_t stray = strayBytes_;
                strayBytes_ = 0;
                if (onMalformed)
                    onMalformed(std::to_string(stray) + " bytes outside a frame");
            }
            start_ = now;
        }
        buf_[have_++] = b;
        if (have_ == 2 && b != 'X') {
            have_ = 0;
            ++strayBytes_;
            if (b == 'K') {   // "KK": the second one may start the frame
                buf_[have_++] = b;
                start_ = now;
            } else {
                ++strayBytes_;
            }
            continue;
        }
        if (have_ == 4) {
            want_ = frameLength(buf_);
            if (want_ < kMinFrame || want_ > kMaxFrame) {
                drop("frame length " + std::to_string(want_) + " outside 7..2048");
                continue;
            }
        }
        if (have_ >= 4 && have_ == want_) {
            const size_t len = have_;
            have_ = want_ = 0;
            onFrame(buf_, len);
        }
    }
}

} // namespace sim
