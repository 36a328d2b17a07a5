// ARP table lookup: /proc/net/arp on Linux, GetIpNetTable on Windows.

#include "platform/arp_table.h"

#include "platform/ip_address.h"

#include <QList>
#include <QStringList>

#include <algorithm>

namespace {

// Hardware address bytes as "02-4B-7D-01-02-03"; a length of 0 reads as six zero bytes.
QString macText(const uint8_t *bytes, int length)
{
    static const uint8_t kZeroMac[6] = {};
    if (length == 0) {
        bytes = kZeroMac;
        length = 6;
    }
    QStringList parts;
    for (int i = 0; i < length; ++i)
        parts << QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char('-'));
}

} // namespace

QString arpLookupInProcText(const QByteArray &table, const QString &address)
{
    uint8_t wanted[4];
    if (!parseDottedQuad(address, wanted))
        return {};
    QString result;
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {   // line 0 holds the column names
        const QList<QByteArray> cols = lines[i].simplified().split(' ');
        uint8_t ip[4];
        if (cols.size() < 4 || !parseDottedQuad(QString::fromLatin1(cols[0]), ip)
            || !std::equal(ip, ip + 4, wanted))
            continue;
        // "02:4b:7d:01:02:03"; an unresolved entry shows all zeros.
        const QList<QByteArray> hex = cols[3].split(':');
        uint8_t mac[16];
        int n = 0;
        bool ok = true;
        for (const QByteArray &h : hex) {
            if (n == int(sizeof mac))
                break;
            mac[n++] = uint8_t(h.toUInt(&ok, 16));
            if (!ok)
                break;
        }
        if (ok)
            result = macText(mac, n);
    }
    return result;
}

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <vector>

namespace {

using GetIpNetTableFn = DWORD(WINAPI *)(PMIB_IPNETTABLE, PULONG, BOOL);

// Loaded on first use and kept until the program ends.
GetIpNetTableFn getIpNetTable()
{
    static GetIpNetTableFn fn = [] {
        HMODULE lib = LoadLibraryW(L"IPHLPAPI.DLL");
        return lib ? reinterpret_cast<GetIpNetTableFn>(GetProcAddress(lib, "GetIpNetTable")) : nullptr;
    }();
    return fn;
}

} // namespace

bool arpTableAvailable()
{
    return getIpNetTable() != nullptr;
}

QString arpLookup(const QString &address)
{
    const GetIpNetTableFn fn = getIpNetTable();
    uint8_t wanted[4];
    if (!fn || !parseDottedQuad(address, wanted))
        return {};
    ULONG size = 0;
    if (fn(nullptr, &size, FALSE) == ERROR_NO_DATA)
        return {};
    std::vector<uint8_t> buffer(size);
    auto *table = reinterpret_cast<PMIB_IPNETTABLE>(buffer.data());
    if (fn(table, &size, FALSE) != NO_ERROR)
        return {};
    QString result;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_IPNETROW &row = table->table[i];
        const auto *ip = reinterpret_cast<const uint8_t *>(&row.dwAddr);   // network order in memory
        if (std::equal(ip, ip + 4, wanted))
            result = macText(row.bPhysAddr, int(qMin<DWORD>(row.dwPhysAddrLen, MAXLEN_PHYSADDR)));
    }
    return result;
}

#else
#include <QFile>

namespace {
const char kProcArp[] = "/proc/net/arp";
}

bool arpTableAvailable()
{
    return QFile::exists(QLatin1String(kProcArp));
}

QString arpLookup(const QString &address)
{
    QFile f{QString::fromLatin1(kProcArp)};
    if (!f.open(QIODevice::ReadOnly))
        return {};
    // /proc files report size 0: read until the end.
    return arpLookupInProcText(f.readAll(), address);
}
#endif
