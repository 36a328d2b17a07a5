#pragma once
// The box's memories: RAM for staging images, and flash as its model has it
// (NOR with a lock bit per block, or a NAND-like area whose copy erases as it goes).

#include "models.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// A range of bytes backed by anonymous memory or by a shared file mapping.
class MappedBytes {
public:
    MappedBytes() = default;
    ~MappedBytes();
    MappedBytes(const MappedBytes &) = delete;
    MappedBytes &operator=(const MappedBytes &) = delete;

    bool mapAnonymous(size_t size, std::string *error);
    // Maps the file; a missing file is created, and *created tells the caller to fill it.
    bool mapFile(const std::string &path, size_t size, bool *created, std::string *error);
    // Back to all zeros (anonymous memory only): what RAM holds after power-on.
    void zero();
    uint8_t *data() { return data_; }
    const uint8_t *data() const { return data_; }
    size_t size() const { return size_; }

private:
    uint8_t *data_ = nullptr;
    size_t size_ = 0;
    bool fileBacked_ = false;
};

// An address range inside a single flash block.
struct BlockChunk {
    uint32_t addr;
    uint32_t length;
    uint32_t block;
};

class Flash {
public:
    Flash(FlashKind kind, uint32_t base, uint32_t size) : kind_(kind), base_(base), size_(size) {}

    // Anonymous when path is empty; a new or anonymous flash holds the fill pattern.
    bool open(const std::string &path, std::string *error);

    FlashKind kind() const { return kind_; }
    uint32_t base() const { return base_; }
    uint32_t size() const { return size_; }
    bool contains(uint32_t addr, uint32_t length) const;
    const uint8_t *at(uint32_t addr) const { return bytes_.data() + (addr - base_); }

    void setAllLocks(bool locked);
    bool locked(uint32_t block) const { return locks_.at(block); }
    // flashlock: mode 0 clears every lock bit, mode 1 sets `count` blocks from
    // addr. 1 on success, 0 for an address outside the flash or an unknown mode.
    int32_t lock(uint8_t mode, uint32_t addr, uint32_t count);

    // The range cut at block boundaries; erase and copy go chunk by chunk.
    std::vector<BlockChunk> chunks(uint32_t addr, uint32_t length) const;
    // Erases the chunk's whole block; false (nothing changed) when it is locked.
    bool eraseChunk(const BlockChunk &c);
    // NOR: programs old AND new, false when locked. NAND: erases the block, then writes.
    bool copyChunk(const BlockChunk &c, const uint8_t *src);

    static uint8_t patternByte(uint32_t addr);

private:
    void fillPattern();

    FlashKind kind_;
    uint32_t base_;
    uint32_t size_;
    MappedBytes bytes_;
    std::vector<bool> locks_;
};

class Ram {
public:
    bool open(std::string *error) { return bytes_.mapAnonymous(kRamSize, error); }
    void clear() { bytes_.zero(); }
    bool contains(uint32_t addr, uint32_t length) const
    {
        return addr >= kRamBase && uint64_t(addr - kRamBase) + length <= kRamSize;
    }
    uint8_t *at(uint32_t addr) { return bytes_.data() + (addr - kRamBase); }

private:
    MappedBytes bytes_;
};

} // namespace sim
