#pragma once
// The PC's ARP table: which hardware address it holds for an IPv4 address.

#include <QByteArray>
#include <QString>

// True when the ARP table can be read at all (Linux: /proc/net/arp; Windows:
// IPHLPAPI.DLL, loaded on first use and kept until the program ends).
bool arpTableAvailable();

// The MAC text ("02-4B-7D-01-02-03") of the last entry for `address`, empty
// when there is none or the table cannot be read.
QString arpLookup(const QString &address);

// The same lookup over the text of /proc/net/arp (tests feed their own).
QString arpLookupInProcText(const QByteArray &table, const QString &address);
