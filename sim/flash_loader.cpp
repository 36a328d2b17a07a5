#include "flash_loader.h"

#include "crc32.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {
constexpr uint32_t kDiscoverBaud = 115200;
// The loader waits a moment after its start before its first discover frame,
// while the PC finishes its upload step; then once a second until attached.
constexpr Ms kFirstDiscoverDelay{150};
constexpr Ms kDiscoverInterval{1000};
// A box request (data block, progress) is sent again when its acknowledgement
// has not come within this time: well below the PC's 1 s and 2 s time-outs.
constexpr Ms kBoxRequestRetry{300};
// Transmissions of one box request before the loader gives up on it.
constexpr int kBoxRequestTries = 7;
// Data bytes per download block: the PC stores at most this much per frame.
constexpr uint32_t kDownloadBlock = 1024;

std::string hex32(uint32_t v)
{
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", v);
    return b;
}

// Frame length each PC request must have (0: depends on the payload).
size_t expectedLength(uint8_t op)
{
    switch (op) {
    case OpNop: return 7;
    case OpDownload:
    case OpCalcCrc32:
    case OpFlashErase: return 15;
    case OpFlashCopy: return 19;
    case OpFlashLock: return 16;
    default: return 0;
    }
}
} // namespace

const char *transportName(const Peer &p)
{
    return p.transport == Peer::Udp ? "udp" : "serial";
}

FlashLoader::FlashLoader(LoaderSettings settings, Flash &flash, Ram &ram, Timers &timers, LoaderHooks hooks)
    : settings_(std::move(settings)), flash_(flash), ram_(ram), timers_(timers), hooks_(std::move(hooks))
{
}

void FlashLoader::start()
{
    discoverTimer_ = timers_.after(kFirstDiscoverDelay, [this] { sendDiscover(); });
}

void FlashLoader::sendDiscover()
{
    if (attached_ || stalled_)
        return;
    hooks_.send(Peer{}, buildDiscover(kDiscoverBaud, settings_.mac, settings_.boxIp));
    discoverTimer_ = timers_.after(kDiscoverInterval, [this] { sendDiscover(); });
}

void FlashLoader::onFrame(const Peer &from, const uint8_t *f, size_t n)
{
    if (stalled_) {
        hooks_.trace("loader hung: frame ignored");
        return;
    }
    switch (f[4]) {
    case OpAck:
        handleAck(f, n);
        break;
    case OpAttach:
        handleAttach(from, f, n);
        break;
    case OpDiscover:
        hooks_.violation("the PC sent a discover frame");
        break;
    default:
        handleRequest(from, f, n);
        break;
    }
}

// An attach is carried out whenever it comes, never taken as a repeat: the PC
// starts every session with it, and its own counters start again with it.
void FlashLoader::handleAttach(const Peer &from, const uint8_t *f, size_t n)
{
    if (n != kAttachLength) {
        hooks_.violation("attach frame of " + std::to_string(n) + " bytes, expected 24");
        return;
    }
    if (f[5] != 0)
        hooks_.violation("attach with sequence number " + std::to_string(f[5]) + ", expected 0");
    if (busy_)
        abandonOperation("attach");
    attached_ = true;
    timers_.cancel(discoverTimer_);
    lastSeq_ = 0;
    lastAnswer_ = 0;
    boxSeq_ = 0;
    const bool udp = f[19] || f[20] || f[21] || f[22];
    if (!std::equal(f + 15, f + 19, settings_.boxIp))
        hooks_.trace("attach names box address " + std::to_string(f[15]) + "." + std::to_string(f[16]) + "." +
                     std::to_string(f[17]) + "." + std::to_string(f[18]) + ", this box listens on its own");
    hooks_.listenUdp(udp);
    hooks_.send(from, buildAck(0, 0));
    hooks_.requestServed();
}

void FlashLoader::handleAck(const uint8_t *f, size_t n)
{
    if (n != kAckLength) {
        hooks_.violation("acknowledgement of " + std::to_string(n) + " bytes, expected 11");
        return;
    }
    if (!out_.active || f[5] != out_.seq) {
        // The PC acknowledges a repeated block again; nothing to do.
        hooks_.trace("acknowledgement seq=" + std::to_string(f[5]) + " matches no open box request");
        return;
    }
    timers_.cancel(out_.timer);
    out_.active = false;
    auto then = std::move(out_.then);
    then(true);
}

void FlashLoader::handleRequest(const Peer &from, const uint8_t *f, size_t n)
{
    const uint8_t seq = f[5];
    if (lastSeq_ >= 0 && seq == lastSeq_) {
        if (busy_ && seq == currentSeq_) {
            hooks_.trace("repeat of seq=" + std::to_string(seq) + " while it is still being carried out");
            return;
        }
        hooks_.trace("repeat of seq=" + std::to_string(seq) + ": answered again, not carried out");
        hooks_.send(from, buildAck(seq, lastAnswer_));
        return;
    }
    if (lastSeq_ < 0)
        hooks_.violation("request op=" + std::to_string(f[4]) + " before any attach");
    else if (seq != uint8_t(lastSeq_ + 1))
        hooks_.violation("request out of sequence: seq=" + std::to_string(seq) + ", expected " +
                         std::to_string(uint8_t(lastSeq_ + 1)));
    if (busy_)
        abandonOperation("a new request (seq=" + std::to_string(seq) + ")");
    lastSeq_ = seq;
    busy_ = true;
    currentPeer_ = from;
    currentOp_ = f[4];
    currentSeq_ = seq;
    carryOut(f, n);
}

void FlashLoader::carryOut(const uint8_t *f, size_t n)
{
    const uint8_t op = f[4];
    const size_t want = expectedLength(op);
    if ((want && n != want) || (op == OpUpload && (n < 15 || n != getBe32(f + 10) + 15))) {
        hooks_.violation("malformed request op=" + std::to_string(op) + " of " + std::to_string(n) + " bytes");
        answer(-1);
        return;
    }
    if (settings_.failOpcodes.count(op)) {
        hooks_.trace("fault: op=" + std::to_string(op) + " answered -1");
        answer(-1);
        return;
    }
    const bool nand = flash_.kind() == FlashKind::Nand;
    switch (op) {
    case OpNop:
        answer(kNopAnswer);
        return;
    case OpUpload: {
        const uint32_t addr = getBe32(f + 6), count = getBe32(f + 10);
        if (!ram_.contains(addr, count)) {
            hooks_.trace("upload to " + hex32(addr) + " outside RAM");
            answer(-1);
            return;
        }
        std::copy(f + 14, f + 14 + count, ram_.at(addr));
        answer(0);
        return;
    }
    case OpDownload:
        startDownload(getBe32(f + 6), getBe32(f + 10));
        return;
    case OpCalcCrc32: {
        const uint32_t addr = getBe32(f + 6), length = getBe32(f + 10);
        const uint8_t *p = memoryAt(addr, length);
        if (!p) {
            answer(-1);
            return;
        }
        uint32_t crc = crc32Update(kCrcStart, p, length);
        if (settings_.badCrc) {
            crc ^= 0x00A5A5A5u;   // wrong, but not -1 for the usual values: a mismatch, not a failure
            hooks_.trace("fault: calccrc32 answers a wrong value");
        }
        answer(int32_t(crc));
        return;
    }
    case OpFlashErase:
        if (nand || !flash_.contains(getBe32(f + 6), getBe32(f + 10))) {
            answer(-1);
            return;
        }
        startBlockOperation(false, getBe32(f + 6), 0, getBe32(f + 10));
        return;
    case OpFlashCopy: {
        const uint32_t flashAddr = getBe32(f + 6), ramAddr = getBe32(f + 10), length = getBe32(f + 14);
        if (!flash_.contains(flashAddr, length) || !ram_.contains(ramAddr, length)) {
            answer(-1);
            return;
        }
        startBlockOperation(true, flashAddr, ramAddr, length);
        return;
    }
    case OpFlashLock:
        answer(nand ? -1 : flash_.lock(f[6], getBe32(f + 7), getBe32(f + 11)));
        return;
    default:
        hooks_.violation("unknown request op=" + std::to_string(op));
        answer(-1);
        return;
    }
}

void FlashLoader::answer(int32_t value)
{
    busy_ = false;
    lastAnswer_ = value;
    hooks_.send(currentPeer_, buildAck(currentSeq_, value));
    hooks_.requestServed();
}

void FlashLoader::abandonOperation(const std::string &why)
{
    hooks_.trace("operation op=" + std::to_string(currentOp_) + " seq=" + std::to_string(currentSeq_) +
                 " abandoned for " + why);
    ++generation_;
    if (out_.active)
        timers_.cancel(out_.timer);
    out_ = Outgoing{};
    busy_ = false;
}

const uint8_t *FlashLoader::memoryAt(uint32_t addr, uint32_t length)
{
    if (ram_.contains(addr, length))
        return ram_.at(addr);
    if (flash_.contains(addr, length))
        return flash_.at(addr);
    hooks_.trace("range " + hex32(addr) + "+" + std::to_string(length) + " is neither RAM nor flash");
    return nullptr;
}

void FlashLoader::sendBoxRequest(uint8_t opcode, const Bytes &payload, std::function<void(bool acked)> then)
{
    ++boxSeq_;
    out_.active = true;
    out_.seq = boxSeq_;
    out_.frame = buildFrame(opcode, boxSeq_, payload);
    out_.tries = 0;
    out_.then = std::move(then);
    transmitOutgoing();
}

void FlashLoader::transmitOutgoing()
{
    ++out_.tries;
    hooks_.send(currentPeer_, out_.frame);
    out_.timer = timers_.after(kBoxRequestRetry, [this] {
        if (out_.tries < kBoxRequestTries) {
            hooks_.trace("no acknowledgement for box seq=" + std::to_string(out_.seq) + ", sending again");
            transmitOutgoing();
            return;
        }
        hooks_.trace("box seq=" + std::to_string(out_.seq) + " unacknowledged after " +
                     std::to_string(kBoxRequestTries) + " transmissions");
        out_.active = false;
        auto then = std::move(out_.then);
        then(false);
    });
}

void FlashLoader::startDownload(uint32_t addr, uint32_t length)
{
    if (!memoryAt(addr, length)) {
        answer(-1);
        return;
    }
    downloadNext(addr, length, 0);
}

// One block at a time; the answer (the byte count) follows the last acknowledged block.
void FlashLoader::downloadNext(uint32_t addr, uint32_t length, uint32_t sent)
{
    if (sent == length) {
        answer(int32_t(sent));
        return;
    }
    const uint32_t count = std::min(kDownloadBlock, length - sent);
    Bytes payload;
    payload.reserve(8 + count);
    putBe32(payload, addr + sent);
    putBe32(payload, count);
    const uint8_t *p = memoryAt(addr + sent, count);
    payload.insert(payload.end(), p, p + count);
    const uint64_t gen = generation_;
    sendBoxRequest(OpUpload, payload, [=, this](bool acked) {
        if (gen != generation_)
            return;
        if (!acked)
            answer(int32_t(sent));
        else
            downloadNext(addr, length, sent + count);
    });
}

void FlashLoader::startBlockOperation(bool copy, uint32_t flashAddr, uint32_t ramAddr, uint32_t length)
{
    op_ = BlockOperation{};
    op_.copy = copy;
    op_.flashAddr = flashAddr;
    op_.ramAddr = ramAddr;
    op_.length = length;
    op_.chunks = flash_.chunks(flashAddr, length);
    blockStep(0);
}

// One block per step, after the block's erase or program time; a progress
// frame after each block whose position changed, waiting for its acknowledgement.
void FlashLoader::blockStep(size_t index)
{
    if (index == op_.chunks.size()) {
        answer(int32_t(op_.done));
        return;
    }
    const uint64_t gen = generation_;
    const Ms duration{op_.copy ? settings_.copyMsPerBlock : settings_.eraseMsPerBlock};
    timers_.after(duration, [=, this] {
        if (gen != generation_)
            return;
        const BlockChunk &c = op_.chunks[index];
        const bool ok = op_.copy ? flash_.copyChunk(c, ram_.at(op_.ramAddr + (c.addr - op_.flashAddr)))
                                 : flash_.eraseChunk(c);
        if (!ok) {
            hooks_.trace(std::string(op_.copy ? "copy" : "erase") + " stopped at locked block " + hex32(c.addr));
            answer(int32_t(op_.done));
            return;
        }
        op_.done += c.length;
        const int64_t position = settings_.progress == ProgressUnit::Percent
                                     ? int64_t(uint64_t(op_.done) * 100 / op_.length)
                                     : int64_t(op_.done);
        if (position == op_.lastProgress) {
            blockStep(index + 1);
            return;
        }
        op_.lastProgress = position;
        Bytes payload;
        putBe32(payload, uint32_t(position));
        sendBoxRequest(OpProgress, payload, [=, this](bool) {
            if (gen == generation_)
                blockStep(index + 1);
        });
    });
}

} // namespace sim
