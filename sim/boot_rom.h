#pragma once
// The box's boot ROM: prints its boot text ending in the model's banner, then
// reads its input as one stream: the keyword "vexil", the 8-byte upload
// header and the loader with its check value, whenever they arrive.

#include "models.h"
#include "timers.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace sim {

struct BootRomHooks {
    std::function<void(const std::string &)> console;     // text out on the serial line
    std::function<void(const std::string &)> trace;
    std::function<void(const std::string &)> violation;   // the PC broke the dialogue
    std::function<void()> uploadStarted;                  // first loader byte arrived
};

class BootRom {
public:
    // readStall: how long the box itself may stop reading during the upload (a
    // fault); the upload's idle limit grows by as much.
    BootRom(const ModelSpec &model, std::string banner, bool bannerOneWrite, Ms readStall, Timers &timers,
            BootRomHooks hooks);

    void start();   // power-on or reset: boot text and banner
    // Takes bytes from the stream; returns how many it consumed. Once the
    // loader has arrived intact, loaderReady() is true and the rest belongs to it.
    size_t feed(const uint8_t *data, size_t n);
    bool loaderReady() const { return state_ == State::Done; }
    uint32_t expectedLength() const { return model_.loaderSize + 4; }

private:
    enum class State { Keyword, Header, Upload, Done };

    void printBanner();
    void checkHeader();
    void finishUpload();
    void fail(const std::string &what);
    void armUploadTimeout();

    const ModelSpec &model_;
    std::string banner_;
    bool bannerOneWrite_;
    Ms readStall_;
    Timers &timers_;
    BootRomHooks hooks_;

    State state_ = State::Keyword;
    size_t keywordMatched_ = 0;
    uint8_t header_[8]{};
    size_t headerHave_ = 0;
    uint32_t uploadLength_ = 0;
    uint32_t received_ = 0;
    uint32_t crc_ = 0;
    uint8_t tail_[4]{};          // the last four bytes: the check value
    Timers::Id uploadTimer_ = 0;
};

} // namespace sim
