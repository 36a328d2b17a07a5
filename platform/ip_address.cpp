#include "platform/ip_address.h"

#include <QStringList>

#include <algorithm>

bool parseDottedQuad(const QString &text, uint8_t out[4])
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    uint8_t octets[4];
    for (int i = 0; i < 4; ++i) {
        const QString &p = parts[i];
        if (p.isEmpty() || p.size() > 3)
            return false;
        int value = 0;
        for (QChar c : p) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            value = value * 10 + (c.unicode() - '0');
        }
        if (value > 255)
            return false;
        octets[i] = uint8_t(value);
    }
    if (out)
        std::copy(octets, octets + 4, out);
    return true;
}
