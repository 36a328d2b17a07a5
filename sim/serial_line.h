#pragma once
// The box's serial line: the master side of a pseudo-terminal (the tool opens
// the other side) or a real serial device. Sees the tool open and close the
// port, and optionally paces both directions like a real line.

#include "timers.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <poll.h>
#include <string>
#include <vector>

namespace sim {

class SerialLine {
public:
    ~SerialLine();

    std::function<void(const uint8_t *, size_t)> onData;
    std::function<void(bool open)> onPortOpen;   // the tool opened or closed the port

    bool openPty(const std::string &linkPath, std::string *error);
    // A real line at `baud` (0: 115200), 8N1, raw.
    bool openDevice(const std::string &device, uint32_t baud, std::string *error);
    const std::string &name() const { return name_; }
    bool isPty() const { return isPty_; }
    bool portOpen() const { return portOpen_; }

    // 0: as fast as the pty goes; otherwise each byte takes 10 bit times, both ways.
    void setBaud(uint32_t baud);
    void write(const std::string &bytes);
    void write(const uint8_t *data, size_t n);
    void discardOutput();        // power off: what was not sent is gone
    void pauseReading(Ms duration);

    // Event loop: file descriptors to watch, then the next moment to look again, and handlers.
    void addPollFds(std::vector<pollfd> &fds);
    std::optional<TimePoint> nextDeadline() const { return deadline_; }
    void handle(const std::vector<pollfd> &fds, TimePoint now);

private:
    void readInput(TimePoint now);
    void writeOutput(TimePoint now);
    void watchOpens();
    size_t paceBudget(TimePoint &lineFree, TimePoint now) const;

    int fd_ = -1;
    int inotify_ = -1;
    std::string name_;
    std::string linkPath_;
    bool isPty_ = false;
    int opens_ = 0;              // openers of the pty's other side
    bool portOpen_ = false;
    std::vector<uint8_t> out_;   // bytes not yet written, from outHead_ on
    size_t outHead_ = 0;
    std::chrono::nanoseconds byteTime_{0};
    TimePoint txFree_{}, rxFree_{};
    TimePoint readPausedUntil_{};
    int fdIndex_ = -1, inotifyIndex_ = -1;
    std::optional<TimePoint> deadline_;
};

} // namespace sim
