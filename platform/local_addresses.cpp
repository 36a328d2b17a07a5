#include "platform/local_addresses.h"

#include <QHostAddress>

#ifdef Q_OS_WIN
#include <QHostInfo>
#else
#include <QNetworkInterface>
#endif

namespace {
constexpr int kBoxOffset = 10;      // the box sits ten addresses above the PC
constexpr int kWrapAddress = 11;    // used when that passes the last host number
constexpr int kLastOctet = 255;
}

#ifdef Q_OS_WIN
// Windows resolves its own host name to the address of every adapter.
bool ListLocalAddresses(QStringList &list)
{
    list.clear();
    const QHostInfo info = QHostInfo::fromName(QHostInfo::localHostName());
    for (const QHostAddress &a : info.addresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            list << a.toString();
    return true;
}
#else
// The resolver gives only 127.0.1.1 or nothing for the host name on Linux, so
// the interfaces that are up are asked instead: their addresses in interface
// order, loopback last (it still serves a box simulated on this PC).
bool ListLocalAddresses(QStringList &list)
{
    list.clear();
    QStringList loopback;
    for (const QNetworkInterface &nif : QNetworkInterface::allInterfaces()) {
        const auto flags = nif.flags();
        if (!(flags & QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry &entry : nif.addressEntries()) {
            const QHostAddress a = entry.ip();
            if (a.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            (a.isLoopback() ? loopback : list) << a.toString();
        }
    }
    list << loopback;
    return true;
}
#endif

QString deriveBoxIp(const QString &pcIp)
{
    const qsizetype lastDot = pcIp.lastIndexOf(QLatin1Char('.'));
    const QString head = pcIp.left(lastDot + 1);
    int n = pcIp.mid(lastDot + 1).toInt() + kBoxOffset;
    if (n > kLastOctet)
        n = kWrapAddress;
    return head + QString::number(n);
}
