#pragma once
// The PC's own IPv4 addresses, offered for network mode, and the box address
// proposed for a chosen one.

#include <QString>
#include <QStringList>

// Fills `list` with the PC's IPv4 addresses as dotted quads. Returns false only
// when the system's network layer cannot be asked at all.
bool ListLocalAddresses(QStringList &list);

// The box address proposed for a PC address: the same first three numbers and
// the fourth plus 10, or 11 when that passes 255 ("192.168.1.5" -> "192.168.1.15").
QString deriveBoxIp(const QString &pcIp);
