#pragma once
// The operator's five per-user choices: on Windows the registry key
// HKEY_CURRENT_USER\Software\MorvaMultimedia\MorvaUp, elsewhere Qt's per-user
// INI file for that organisation and application. Every value is a string.

#include <QString>

struct StoredSettings {
    QString comPort;      // "ComPort"
    QString useNetwork;   // "UseNetwork": "True" or "False"
    QString pcIp;         // "PCIP"
    QString boxIp;        // "BoxIP"
    QString language;     // "Language": "ENG", "GER" or whatever was stored
};

// Missing values read as empty texts.
StoredSettings readStoredSettings();
// Writes all five, empty ones included.
void writeStoredSettings(const StoredSettings &values);
