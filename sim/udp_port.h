#pragma once
// The box's UDP socket on its own address, port 19288.

#include <cstdint>
#include <functional>
#include <netinet/in.h>
#include <string>

namespace sim {

constexpr uint16_t kLinkPort = 19288;

class UdpPort {
public:
    ~UdpPort();
    bool open(const std::string &ip, std::string *error);
    int fd() const { return fd_; }
    const uint8_t *address() const { return ip_; }

    // Reads every datagram that is waiting.
    void receive(const std::function<void(const sockaddr_in &, const uint8_t *, size_t)> &onDatagram);
    bool sendTo(const sockaddr_in &to, const uint8_t *data, size_t n, std::string *error);

private:
    int fd_ = -1;
    uint8_t ip_[4]{};
};

} // namespace sim
