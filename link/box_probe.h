#pragma once
// Probing the box's address: one ICMP echo with the protocol-log lines of its
// outcome, and the MAC address the PC's ARP table holds for an address.

#include <QString>
#include <stdexcept>

class Panel;

// Raised when no echo can be sent at all (no ICMP socket, no raw socket, no
// system ping program, or an address that cannot be resolved).
class ProbeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One echo request to `address` with time-to-live 64; true when a reply came
// within `timeoutMs`. Writes one level-3 line about the outcome.
bool doPing(Panel *panel, const QString &address, int timeoutMs);

// "02-4B-7D-01-02-03" for an address in the ARP table; empty when none.
QString LookupMac(const QString &address);
