#include "udp_port.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

UdpPort::~UdpPort()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool UdpPort::open(const std::string &ip, std::string *error)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kLinkPort);
    if (inet_pton(AF_INET, ip.c_str(), &a.sin_addr) != 1) {
        *error = "--box-ip \"" + ip + "\" is not an IPv4 address";
        return false;
    }
    std::memcpy(ip_, &a.sin_addr, 4);
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        *error = "cannot bind UDP " + ip + ":" + std::to_string(kLinkPort) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void UdpPort::receive(const std::function<void(const sockaddr_in &, const uint8_t *, size_t)> &onDatagram)
{
    uint8_t buf[65536];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t r = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (r < 0)
            return;
        onDatagram(from, buf, size_t(r));
    }
}

bool UdpPort::sendTo(const sockaddr_in &to, const uint8_t *data, size_t n, std::string *error)
{
    if (::sendto(fd_, data, n, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) == ssize_t(n))
        return true;
    *error = std::strerror(errno);
    return false;
}

} // namespace sim
