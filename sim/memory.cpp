#include "memory.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

MappedBytes::~MappedBytes()
{
    if (data_)
        munmap(data_, size_);
}

bool MappedBytes::mapAnonymous(size_t size, std::string *error)
{
    void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        *error = std::string("cannot map ") + std::to_string(size) + " bytes: " + std::strerror(errno);
        return false;
    }
    data_ = static_cast<uint8_t *>(p);
    size_ = size;
    return true;
}

bool MappedBytes::mapFile(const std::string &path, size_t size, bool *created, std::string *error)
{
    int fd = ::open(path.c_str(), O_RDWR);
    *created = false;
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
        *created = fd >= 0;
        if (fd >= 0 && ftruncate(fd, off_t(size)) != 0) {
            *error = "cannot size flash file " + path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
    }
    if (fd < 0) {
        *error = "cannot open flash file " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || size_t(st.st_size) != size) {
        *error = "flash file " + path + " has " + std::to_string(st.st_size) + " bytes, this model's flash has " +
                 std::to_string(size);
        ::close(fd);
        return false;
    }
    void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) {
        *error = "cannot map flash file " + path + ": " + std::strerror(errno);
        return false;
    }
    data_ = static_cast<uint8_t *>(p);
    size_ = size;
    fileBacked_ = true;
    return true;
}

void MappedBytes::zero()
{
    // Dropping the pages of private anonymous memory gives zero pages back, lazily.
    if (data_ && !fileBacked_ && madvise(data_, size_, MADV_DONTNEED) != 0)
        std::memset(data_, 0, size_);
}

bool Flash::open(const std::string &path, std::string *error)
{
    locks_.assign(size_ / kBlockSize, true);
    bool created = true;
    bool ok = path.empty() ? bytes_.mapAnonymous(size_, error) : bytes_.mapFile(path, size_, &created, error);
    if (ok && created)
        fillPattern();
    return ok;
}

// Each 32-bit word holds its own address, big-endian: a misplaced or
// unwritten block shows at once, and no word looks erased.
uint8_t Flash::patternByte(uint32_t addr)
{
    const uint32_t word = addr & ~3u;
    return uint8_t(word >> (8 * (3 - (addr & 3))));
}

void Flash::fillPattern()
{
    uint8_t *p = bytes_.data();
    for (uint32_t off = 0; off < size_; off += 4) {
        const uint32_t a = base_ + off;
        p[off] = uint8_t(a >> 24);
        p[off + 1] = uint8_t(a >> 16);
        p[off + 2] = uint8_t(a >> 8);
        p[off + 3] = uint8_t(a);
    }
}

bool Flash::contains(uint32_t addr, uint32_t length) const
{
    return addr >= base_ && uint64_t(addr - base_) + length <= size_;
}

void Flash::setAllLocks(bool locked)
{
    locks_.assign(locks_.size(), locked);
}

int32_t Flash::lock(uint8_t mode, uint32_t addr, uint32_t count)
{
    if (!contains(addr, 1))
        return 0;
    if (mode == 0) {
        setAllLocks(false);
        return 1;
    }
    if (mode != 1)
        return 0;
    const uint32_t first = (addr - base_) / kBlockSize;
    for (uint32_t b = first; b < locks_.size() && b - first < count; ++b)
        locks_[b] = true;
    return 1;
}

std::vector<BlockChunk> Flash::chunks(uint32_t addr, uint32_t length) const
{
    std::vector<BlockChunk> out;
    uint64_t a = addr;
    const uint64_t end = uint64_t(addr) + length;
    while (a < end) {
        const uint32_t off = uint32_t(a - base_);
        const uint32_t inBlock = kBlockSize - off % kBlockSize;
        const uint32_t n = uint32_t(std::min<uint64_t>(inBlock, end - a));
        out.push_back({uint32_t(a), n, off / kBlockSize});
        a += n;
    }
    return out;
}

bool Flash::eraseChunk(const BlockChunk &c)
{
    if (locks_.at(c.block))
        return false;
    std::memset(bytes_.data() + size_t(c.block) * kBlockSize, 0xFF, kBlockSize);
    return true;
}

bool Flash::copyChunk(const BlockChunk &c, const uint8_t *src)
{
    uint8_t *dst = bytes_.data() + (c.addr - base_);
    if (kind_ == FlashKind::Nand) {
        std::memset(bytes_.data() + size_t(c.block) * kBlockSize, 0xFF, kBlockSize);
        std::memcpy(dst, src, c.length);
        return true;
    }
    if (locks_.at(c.block))
        return false;
    // NOR programming can only turn ones into zeros.
    for (uint32_t i = 0; i < c.length; ++i)
        dst[i] &= src[i];
    return true;
}

} // namespace sim
