#pragma once
// Shared set-up of the window tests: settings in a temporary folder, a fresh
// window per case, a connection over a pseudo-terminal when a case needs one.

#include "boot/connection.h"
#include "common/link_peer.h"
#include "ui/main_window.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// Keeps the tests off the operator's real settings. Call before any QSettings.
inline void useTemporarySettings(QTemporaryDir &dir)
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
}

inline QSettings storedSettings() { return QSettings(QStringLiteral("MorvaMultimedia"), QStringLiteral("MorvaUp")); }

// Replaces every stored value by `values` (name -> text).
inline void storeSettings(const QMap<QString, QString> &values)
{
    QSettings s(QStringLiteral("MorvaMultimedia"), QStringLiteral("MorvaUp"));
    s.clear();
    for (auto it = values.begin(); it != values.end(); ++it)
        s.setValue(it.key(), it.value());
    s.sync();
}

inline std::unique_ptr<TForm1> makeWindow(const QString &systemLanguage = QStringLiteral("English"),
                                          const QString &port = QString())
{
    StartOptions o;
    o.systemLanguage = systemLanguage;
    o.extraPort = port;
    return std::make_unique<TForm1>(o);
}

// A pseudo-terminal whose slave path the window's port chooser offers, so that
// Connect opens a real serial port.
struct PtyLine {
    LinkPeer peer;
    QString path;
    bool open()
    {
        path = QString::fromStdString(peer.openPty());
        return !path.isEmpty();
    }
};
