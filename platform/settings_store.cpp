#include "platform/settings_store.h"

#include <QSettings>

namespace {
const char kOrganisation[] = "MorvaMultimedia";
const char kApplication[] = "MorvaUp";

// A value stored with another type than text reads as empty, as a missing one.
QString readText(const QSettings &s, const char *name)
{
    const QVariant v = s.value(QLatin1String(name));
    return v.canConvert<QString>() ? v.toString() : QString();
}
}

StoredSettings readStoredSettings()
{
    const QSettings s{QLatin1String(kOrganisation), QLatin1String(kApplication)};
    return {readText(s, "ComPort"), readText(s, "UseNetwork"), readText(s, "PCIP"),
            readText(s, "BoxIP"), readText(s, "Language")};
}

void writeStoredSettings(const StoredSettings &values)
{
    QSettings s{QLatin1String(kOrganisation), QLatin1String(kApplication)};
    s.setValue(QStringLiteral("ComPort"), values.comPort);
    s.setValue(QStringLiteral("UseNetwork"), values.useNetwork);
    s.setValue(QStringLiteral("PCIP"), values.pcIp);
    s.setValue(QStringLiteral("BoxIP"), values.boxIp);
    s.setValue(QStringLiteral("Language"), values.language);
}
