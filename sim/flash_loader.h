#pragma once
// The flash-loader running in the box's RAM: announces itself with discover
// frames until attached, then serves the PC's requests and sends its own
// (progress, download data blocks), each waiting for the PC's acknowledgement.

#include "memory.h"
#include "timers.h"
#include "wire.h"

#include <cstdint>
#include <functional>
#include <netinet/in.h>
#include <set>
#include <string>
#include <vector>

namespace sim {

// Where a frame came from, and so where its answer goes.
struct Peer {
    enum Transport { Serial, Udp } transport = Serial;
    sockaddr_in addr{};   // UDP only
};

const char *transportName(const Peer &p);

struct LoaderSettings {
    uint8_t boxIp[4]{};
    uint8_t mac[6]{};
    ProgressUnit progress = ProgressUnit::Percent;
    int eraseMsPerBlock = 0;
    int copyMsPerBlock = 0;
    bool badCrc = false;
    std::set<int> failOpcodes;
};

struct LoaderHooks {
    std::function<void(const Peer &, const Bytes &)> send;
    std::function<void(const std::string &)> trace;
    std::function<void(const std::string &)> violation;
    std::function<void(bool)> listenUdp;     // the attach asked for UDP (or not)
    std::function<void()> requestServed;     // one new request carried out and answered
};

class FlashLoader {
public:
    FlashLoader(LoaderSettings settings, Flash &flash, Ram &ram, Timers &timers, LoaderHooks hooks);

    void start();
    // An intact frame (checksum checked by the caller).
    void onFrame(const Peer &from, const uint8_t *f, size_t n);
    // A hung loader: ignores everything from now on.
    void stall() { stalled_ = true; }

private:
    struct Outgoing {
        bool active = false;
        uint8_t seq = 0;
        Bytes frame;
        int tries = 0;
        Timers::Id timer = 0;
        std::function<void(bool acked)> then;
    };

    void sendDiscover();
    void handleAttach(const Peer &from, const uint8_t *f, size_t n);
    void handleAck(const uint8_t *f, size_t n);
    void handleRequest(const Peer &from, const uint8_t *f, size_t n);
    void carryOut(const uint8_t *f, size_t n);
    void answer(int32_t value);
    void abandonOperation(const std::string &why);

    // The box's own requests, on the transport of the PC's current request.
    void sendBoxRequest(uint8_t opcode, const Bytes &payload, std::function<void(bool acked)> then);
    void transmitOutgoing();

    void startDownload(uint32_t addr, uint32_t length);
    void downloadNext(uint32_t addr, uint32_t length, uint32_t sent);
    void startBlockOperation(bool copy, uint32_t flashAddr, uint32_t ramAddr, uint32_t length);
    void blockStep(size_t index);
    const uint8_t *memoryAt(uint32_t addr, uint32_t length);

    LoaderSettings settings_;
    Flash &flash_;
    Ram &ram_;
    Timers &timers_;
    LoaderHooks hooks_;

    bool attached_ = false;
    bool stalled_ = false;
    Timers::Id discoverTimer_ = 0;

    int lastSeq_ = -1;          // sequence number of the last PC request carried out
    int32_t lastAnswer_ = 0;
    uint8_t boxSeq_ = 0;        // the box's own requests; reset by every attach

    bool busy_ = false;         // a request is being carried out
    Peer currentPeer_;
    uint8_t currentOp_ = 0;
    uint8_t currentSeq_ = 0;
    uint64_t generation_ = 0;   // bumped when an operation is abandoned

    Outgoing out_;

    // erase or copy in progress
    struct BlockOperation {
        bool copy = false;
        uint32_t flashAddr = 0, ramAddr = 0, length = 0, done = 0;
        int64_t lastProgress = -1;
        std::vector<BlockChunk> chunks;
    } op_;
};

} // namespace sim
