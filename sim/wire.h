#pragma once
// The link frame as the box sees it: "KX", 16-bit big-endian total length,
// opcode, sequence number, payload, XOR checksum that makes the whole frame 0.
// Written independently of the PC side so that both sides check each other.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<uint8_t>;

enum Opcode : uint8_t {
    OpDiscover = 0,
    OpAttach = 1,
    OpDetach = 2,
    OpAck = 3,
    OpNop = 4,
    OpUpload = 5,     // PC -> box: data into RAM; box -> PC: a download data block
    OpDownload = 6,
    OpCalcCrc32 = 7,
    OpFlashErase = 8,
    OpFlashCopy = 9,
    OpFlashLock = 10,
    OpProgress = 14,
};

constexpr size_t kMinFrame = 7;         // magic, length, opcode, seq, checksum
constexpr size_t kMaxFrame = 2048;      // the PC's receiver drops anything longer
constexpr size_t kDiscoverLength = 19;
constexpr size_t kAttachLength = 24;
constexpr size_t kAckLength = 11;
constexpr int32_t kNopAnswer = 31337;

uint32_t getBe32(const uint8_t *p);
uint32_t getBe24(const uint8_t *p);
void putBe32(Bytes &out, uint32_t v);
void putBe24(Bytes &out, uint32_t v);

// XOR of all bytes; 0 for an intact frame.
uint8_t xorSum(const uint8_t *p, size_t n);
// Length field of a frame (bytes 2 and 3).
size_t frameLength(const uint8_t *p);

// A frame with sequence number: opcode, seq, payload, length and checksum filled in.
Bytes buildFrame(uint8_t opcode, uint8_t seq, const Bytes &payload);
Bytes buildAck(uint8_t seq, int32_t value);
Bytes buildDiscover(uint32_t baud, const uint8_t mac[6], const uint8_t ip[4]);

// One-line description of a frame for the trace: "op=4 seq=1 len=7 ...".
std::string describeFrame(const uint8_t *p, size_t n);

} // namespace sim
