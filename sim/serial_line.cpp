#include "serial_line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {
// With pacing, bytes whose line time begins within this window go out (or are
// taken in) together, like a UART FIFO ...
constexpr std::chrono::microseconds kPaceWindow{2000};
// ... and the next batch waits until the line has only this much left to send,
// so a busy line costs some 700 wake-ups a second at 115200 baud, not one per byte.
constexpr std::chrono::microseconds kPaceLowWater{500};
constexpr size_t kReadChunk = 65536;
// A line that reports an error or end of file is read again after this long.
constexpr Ms kReadRetryAfterError{100};
} // namespace

SerialLine::~SerialLine()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (inotify_ >= 0)
        ::close(inotify_);
    if (!linkPath_.empty())
        ::unlink(linkPath_.c_str());
}

static void makeRaw(int fd, speed_t speed)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (speed)
        cfsetspeed(&t, speed);
    tcsetattr(fd, TCSANOW, &t);
}

bool SerialLine::openPty(const std::string &linkPath, std::string *error)
{
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
        *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    name_ = ptsname(fd_);
    isPty_ = true;
    makeRaw(fd_, B115200);
    // Opens and closes of the other side are what switch the box on and off.
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0 || inotify_add_watch(inotify_, name_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        *error = "cannot watch " + name_ + ": " + std::strerror(errno);
        return false;
    }
    if (!linkPath.empty()) {
        ::unlink(linkPath.c_str());
        if (::symlink(name_.c_str(), linkPath.c_str()) != 0) {
            *error = "cannot link " + linkPath + " to " + name_ + ": " + std::strerror(errno);
            return false;
        }
        linkPath_ = linkPath;
    }
    return true;
}

static speed_t speedOf(uint32_t baud)
{
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B115200;   // the box's own rate
    }
}

bool SerialLine::openDevice(const std::string &device, uint32_t baud, std::string *error)
{
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        *error = "cannot open " + device + ": " + std::strerror(errno);
        return false;
    }
    name_ = device;
    makeRaw(fd_, speedOf(baud));
    portOpen_ = true;   // a real line is always connected; the box is on from the start
    return true;
}

void SerialLine::setBaud(uint32_t baud)
{
    // A real device paces itself (openDevice set its rate); a pty needs us to add the wire time.
    byteTime_ = baud && isPty_ ? std::chrono::nanoseconds(10'000'000'000LL / baud) : std::chrono::nanoseconds(0);
}

void SerialLine::write(const std::string &bytes)
{
    write(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
}

void SerialLine::write(const uint8_t *data, size_t n)
{
    if (!portOpen_)
        return;
    out_.insert(out_.end(), data, data + n);
    writeOutput(Clock::now());
}

void SerialLine::discardOutput()
{
    out_.clear();
    outHead_ = 0;
    if (fd_ >= 0)
        tcflush(fd_, TCIOFLUSH);
}

void SerialLine::pauseReading(Ms duration)
{
    readPausedUntil_ = Clock::now() + duration;
}

size_t SerialLine::paceBudget(TimePoint &lineFree, TimePoint now) const
{
    if (byteTime_.count() == 0)
        return SIZE_MAX;
    lineFree = std::max(lineFree, now);   // an idle line banks no time
    if (lineFree - now > kPaceLowWater)
        return 0;
    return size_t((now + kPaceWindow - lineFree) / byteTime_) + 1;
}

void SerialLine::readInput(TimePoint now)
{
    size_t budget = std::min(paceBudget(rxFree_, now), kReadChunk);
    if (budget == 0)
        return;
    uint8_t buf[kReadChunk];
    const ssize_t r = ::read(fd_, buf, budget);
    if (r < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (r <= 0) {
        // End of file or a line error (a device gone): look again later instead of spinning.
        readPausedUntil_ = now + kReadRetryAfterError;
        return;
    }
    rxFree_ += byteTime_ * r;
    if (onData)
        onData(buf, size_t(r));
}

void SerialLine::writeOutput(TimePoint now)
{
    while (outHead_ < out_.size()) {
        const size_t budget = std::min(paceBudget(txFree_, now), out_.size() - outHead_);
        if (budget == 0)
            break;
        const ssize_t w = ::write(fd_, out_.data() + outHead_, budget);
        if (w <= 0)
            break;   // the tool does not read; try again when the line drains
        outHead_ += size_t(w);
        txFree_ += byteTime_ * w;
    }
    // Drop what was written once it is the larger part, so appends stay cheap.
    if (outHead_ > out_.size() / 2) {
        out_.erase(out_.begin(), out_.begin() + std::ptrdiff_t(outHead_));
        outHead_ = 0;
    }
}

void SerialLine::watchOpens()
{
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t r = ::read(inotify_, buf, sizeof buf);
        if (r <= 0)
            return;
        for (char *p = buf; p < buf + r;) {
            auto *e = reinterpret_cast<inotify_event *>(p);
            if (e->mask & IN_OPEN)
                ++opens_;
            if (e->mask & IN_CLOSE)
                opens_ = std::max(0, opens_ - 1);
            // Report every transition in order, so a quick close and re-open is a power cycle.
            const bool open = opens_ > 0;
            if (open != portOpen_) {
                portOpen_ = open;
                if (!open) {
                    out_.clear();
                    outHead_ = 0;
                }
                if (onPortOpen)
                    onPortOpen(open);
            }
            p += sizeof(inotify_event) + e->len;
        }
    }
}

// Events to watch and the next moment to look again, decided from one clock
// reading, so that a paced direction is never left without either.
void SerialLine::addPollFds(std::vector<pollfd> &fds)
{
    fdIndex_ = inotifyIndex_ = -1;
    deadline_.reset();
    if (inotify_ >= 0) {
        inotifyIndex_ = int(fds.size());
        fds.push_back({inotify_, POLLIN, 0});
    }
    if (!portOpen_)
        return;   // a closed pty reports a hang-up without end: do not watch it
    const TimePoint now = Clock::now();
    auto wakeAt = [&](TimePoint t) { deadline_ = deadline_ ? std::min(*deadline_, t) : t; };
    short events = 0;
    TimePoint rx = rxFree_;
    if (now < readPausedUntil_)
        wakeAt(readPausedUntil_);
    else if (paceBudget(rx, now) > 0)
        events |= POLLIN;
    else
        wakeAt(rxFree_ - kPaceLowWater);
    TimePoint tx = txFree_;
    if (outHead_ < out_.size()) {
        if (paceBudget(tx, now) > 0)
            events |= POLLOUT;
        else
            wakeAt(txFree_ - kPaceLowWater);
    }
    fdIndex_ = int(fds.size());
    fds.push_back({fd_, events, 0});
}

void SerialLine::handle(const std::vector<pollfd> &fds, TimePoint now)
{
    if (inotifyIndex_ >= 0 && fds[size_t(inotifyIndex_)].revents)
        watchOpens();
    if (fdIndex_ < 0 || !portOpen_)
        return;
    const short rev = fds[size_t(fdIndex_)].revents;
    if (rev & POLLOUT)
        writeOutput(now);
    if (rev & POLLIN && now >= readPausedUntil_)
        readInput(now);
}

} // namespace sim
