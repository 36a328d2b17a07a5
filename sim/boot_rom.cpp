#include "boot_rom.h"

#include "crc32.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim {

namespace {
constexpr std::string_view kKeyword = "vexil";
constexpr const char *kKeywordAnswer = "ok\r";
constexpr const char *kUploadPrompt = "loading instr. file\r\n";
// The PC reads the banner in two events when it arrives in two writes this far apart.
constexpr Ms kBannerSplitGap{20};
// A loader upload that stops for this long is given up. The PC waits up to 3 s
// after the prompt before its first block, so the limit must be well above that.
constexpr Ms kUploadIdleTimeout{5000};
} // namespace

BootRom::BootRom(const ModelSpec &model, std::string banner, bool bannerOneWrite, Ms readStall, Timers &timers,
                 BootRomHooks hooks)
    : model_(model), banner_(std::move(banner)), bannerOneWrite_(bannerOneWrite), readStall_(readStall),
      timers_(timers), hooks_(std::move(hooks))
{
}

void BootRom::start()
{
    state_ = State::Keyword;
    keywordMatched_ = 0;
    hooks_.trace("boot rom " + std::string(model_.name) + ": banner");
    printBanner();
}

void BootRom::printBanner()
{
    if (bannerOneWrite_ || banner_.size() < 2) {
        hooks_.console(model_.bootText + banner_);
        return;
    }
    // Split inside the pattern so the PC must join two reads to find it.
    const size_t half = banner_.size() / 2;
    hooks_.console(model_.bootText + banner_.substr(0, half));
    const std::string rest = banner_.substr(half);
    timers_.after(kBannerSplitGap, [this, rest] { hooks_.console(rest); });
}

size_t BootRom::feed(const uint8_t *data, size_t n)
{
    size_t i = 0;
    while (i < n && state_ != State::Done) {
        switch (state_) {
        case State::Keyword: {
            const char c = char(data[i++]);
            if (c == kKeyword[keywordMatched_])
                ++keywordMatched_;
            else
                keywordMatched_ = c == kKeyword[0] ? 1 : 0;
            if (keywordMatched_ == kKeyword.size()) {
                hooks_.trace("boot rom: keyword");
                hooks_.console(kKeywordAnswer);
                state_ = State::Header;
                headerHave_ = 0;
            }
            break;
        }
        case State::Header:
            header_[headerHave_++] = data[i++];
            if (headerHave_ == sizeof header_)
                checkHeader();
            break;
        case State::Upload: {
            const size_t take = std::min<size_t>(n - i, uploadLength_ - received_);
            // Everything but the last four bytes goes into the check value.
            const uint32_t body = uploadLength_ - 4;
            if (received_ < body) {
                const size_t bodyPart = std::min<size_t>(take, body - received_);
                crc_ = crc32Update(crc_, data + i, bodyPart);
            }
            for (size_t k = 0; k < take; ++k) {
                const uint32_t pos = received_ + uint32_t(k);
                if (pos >= body)
                    tail_[pos - body] = data[i + k];
            }
            if (received_ == 0 && take > 0 && hooks_.uploadStarted)
                hooks_.uploadStarted();
            received_ += uint32_t(take);
            i += take;
            if (received_ == uploadLength_)
                finishUpload();
            else
                armUploadTimeout();
            break;
        }
        case State::Done:
            break;
        }
    }
    return i;
}

void BootRom::checkHeader()
{
    char hex[64];
    std::snprintf(hex, sizeof hex, "%02X %02X %02X %02X %02X %02X %02X %02X", header_[0], header_[1], header_[2],
                  header_[3], header_[4], header_[5], header_[6], header_[7]);
    if (header_[0] != 'G' || header_[1] != '4' || header_[2] || header_[3] || header_[4]) {
        fail(std::string("unknown upload header ") + hex);
        return;
    }
    uploadLength_ = uint32_t(header_[5]) << 16 | uint32_t(header_[6]) << 8 | header_[7];
    if (uploadLength_ != expectedLength()) {
        fail("upload length " + std::to_string(uploadLength_) + " does not fit, this box takes " +
             std::to_string(expectedLength()) + " (loader " + std::to_string(model_.loaderSize) + " + 4)");
        return;
    }
    hooks_.trace(std::string("boot rom: header ") + hex + " length=" + std::to_string(uploadLength_));
    hooks_.console(kUploadPrompt);
    state_ = State::Upload;
    received_ = 0;
    crc_ = kCrcStart;
    armUploadTimeout();
}

void BootRom::armUploadTimeout()
{
    timers_.cancel(uploadTimer_);
    uploadTimer_ = timers_.after(kUploadIdleTimeout + readStall_, [this] {
        uploadTimer_ = 0;
        hooks_.trace("boot rom: upload stopped after " + std::to_string(received_) + " of " +
                     std::to_string(uploadLength_) + " bytes");
        hooks_.console("\r\nupload incomplete: " + std::to_string(received_) + " of " +
                       std::to_string(uploadLength_) + " bytes\r\n");
        start();
    });
}

void BootRom::finishUpload()
{
    timers_.cancel(uploadTimer_);
    uploadTimer_ = 0;
    const uint32_t sent = uint32_t(tail_[0]) << 24 | uint32_t(tail_[1]) << 16 | uint32_t(tail_[2]) << 8 | tail_[3];
    if (sent != crc_) {
        char msg[96];
        std::snprintf(msg, sizeof msg, "loader check value %08X, computed %08X", sent, crc_);
        fail(msg);
        return;
    }
    char msg[64];
    std::snprintf(msg, sizeof msg, "boot rom: loader received intact, crc %08X, starting it", crc_);
    hooks_.trace(msg);
    hooks_.console("\r\nstarting flash-loader\r\n");
    state_ = State::Done;
}

// A real ROM reports the error on its console and starts over at its banner;
// it never runs a loader that did not arrive intact.
void BootRom::fail(const std::string &what)
{
    hooks_.trace("boot rom: " + what);
    hooks_.violation(what);
    hooks_.console("\r\nerror: " + what + "\r\n");
    start();
}

} // namespace sim
