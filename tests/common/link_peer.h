#pragma once
// A scripted box for link tests and benchmarks: a thread on the far side of a
// pseudo-terminal or of a loopback UDP socket that collects the frames it
// receives and answers each one as a script says.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Bytes = std::vector<uint8_t>;

// What the box sends back for the n-th frame (counting from 0); empty: nothing.
using PeerScript = std::function<Bytes(const Bytes &frame, int index)>;

// An acknowledgement frame, built here byte by byte so the peer does not
// depend on the engine it talks to.
inline Bytes peerAck(uint8_t seq, int32_t value)
{
    Bytes f = {0x4B, 0x58, 0x00, 0x0B, 0x03, seq,
               uint8_t(uint32_t(value) >> 24), uint8_t(uint32_t(value) >> 16),
               uint8_t(uint32_t(value) >> 8), uint8_t(value), 0};
    uint8_t x = 0;
    for (uint8_t b : f)
        x ^= b;
    f[10] = x;
    return f;
}

// Any frame from its opcode, sequence number and payload, checksum filled in.
inline Bytes peerFrame(uint8_t opcode, uint8_t seq, const Bytes &payload)
{
    Bytes f(payload.size() + 7, 0);
    f[0] = 0x4B;
    f[1] = 0x58;
    f[4] = opcode;
    f[5] = seq;
    std::copy(payload.begin(), payload.end(), f.begin() + 6);
    f[2] = uint8_t(f.size() >> 8);
    f[3] = uint8_t(f.size());
    uint8_t x = 0;
    for (uint8_t b : f)
        x ^= b;
    f.back() = x;
    return f;
}

class LinkPeer {
public:
    ~LinkPeer() { stop(); if (m_fd >= 0) ::close(m_fd); if (m_slaveFd >= 0) ::close(m_slaveFd); }

    // The far side of a pseudo-terminal; returns the slave path for SerialPort.
    std::string openPty()
    {
        m_udp = false;
        m_fd = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_fd < 0 || ::grantpt(m_fd) != 0 || ::unlockpt(m_fd) != 0)
            return {};
        std::string path = ::ptsname(m_fd);
        // Held open so the master never sees a hang-up between the port's opens.
        m_slaveFd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        ::tcgetattr(m_slaveFd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_slaveFd, TCSANOW, &t);
        return path;
    }

    // A UDP socket bound to address:port; replies go to the sender of each datagram.
    bool openUdp(const char *address, uint16_t port)
    {
        m_udp = true;
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        int one = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &a.sin_addr);
        return ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    }

    // UDP only: where unsolicited datagrams go before any frame has arrived.
    void setUdpTarget(const char *address, uint16_t port)
    {
        m_to = sockaddr_in{};
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &m_to.sin_addr);
    }

    void start(PeerScript script)
    {
        m_script = std::move(script);
        m_run = true;
        m_thread = std::thread([this] { loop(); });
    }

    void stop()
    {
        m_run = false;
        if (m_thread.joinable())
            m_thread.join();
    }

    // Sends bytes (serial) or one datagram (UDP) at once, from any thread.
    void send(const Bytes &bytes)
    {
        if (m_udp)
            ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&m_to), sizeof m_to);
        else
            (void)!::write(m_fd, bytes.data(), bytes.size());
    }

    // Without start(): whatever arrives within `waitMs` (all of it, read at once).
    Bytes receive(int waitMs)
    {
        Bytes out;
        uint8_t buf[4096];
        pollfd p{m_fd, POLLIN, 0};
        while (::poll(&p, 1, out.empty() ? waitMs : 20) > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0)
                break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

    std::vector<Bytes> frames() const { std::lock_guard<std::mutex> l(m_mutex); return m_frames; }
    std::vector<double> times() const { std::lock_guard<std::mutex> l(m_mutex); return m_times; }
    int frameCount() const { std::lock_guard<std::mutex> l(m_mutex); return int(m_frames.size()); }
    int fd() const { return m_fd; }

private:
    void loop()
    {
        Bytes stream;
        uint8_t buf[4096];
        const auto t0 = std::chrono::steady_clock::now();
        while (m_run) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN))
                continue;
            if (m_udp) {
                socklen_t len = sizeof m_to;
                const ssize_t n = ::recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&m_to), &len);
                if (n > 0)
                    handle(Bytes(buf, buf + n), t0);
                continue;
            }
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0)
                continue;
            stream.insert(stream.end(), buf, buf + n);
            // Frames on the stream: resynchronise on the magic, cut by the length field.
            while (stream.size() >= 4) {
                if (stream[0] != 0x4B || stream[1] != 0x58) {
                    stream.erase(stream.begin());
                    continue;
                }
                const size_t len = size_t(stream[2]) << 8 | stream[3];
                if (len < 5) {
                    stream.erase(stream.begin());
                    continue;
                }
                if (stream.size() < len)
                    break;
                handle(Bytes(stream.begin(), stream.begin() + long(len)), t0);
                stream.erase(stream.begin(), stream.begin() + long(len));
            }
        }
    }

    void handle(const Bytes &frame, std::chrono::steady_clock::time_point t0)
    {
        int index;
        {
            std::lock_guard<std::mutex> l(m_mutex);
            index = int(m_frames.size());
            m_frames.push_back(frame);
            m_times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
        const Bytes reply = m_script ? m_script(frame, index) : Bytes{};
        if (!reply.empty())
            send(reply);
    }

    int m_fd = -1;
    int m_slaveFd = -1;
    bool m_udp = false;
    sockaddr_in m_to{};
    PeerScript m_script;
    std::atomic<bool> m_run{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_frames;
    std::vector<double> m_times;
};
