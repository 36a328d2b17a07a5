#pragma once
// One ICMP echo request and its outcome. On Linux it tries the unprivileged
// ICMP datagram socket, then a raw socket, then one run of the system's ping
// program; on Windows it uses the system's ICMP helper.

#include <QString>
#include <stdexcept>

// Raised when no echo can be sent at all, or the address cannot be resolved.
class IcmpEchoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct EchoOutcome {
    enum Kind { Reply, Error, TimedOut, Unreachable, TtlExpired, Other };
    Kind kind = Error;
    QString from;       // the replying address, dotted quad
    int ms = 0;         // time from request to reply
};

// Sends one echo request with time-to-live `ttl` and waits up to `timeoutMs`.
EchoOutcome icmpEcho(const QString &address, int ttl, int timeoutMs);
