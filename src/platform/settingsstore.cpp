#include "settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

QString IniSettingsStore::DefaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/KORVAL/Cache Login.ini");
}

IniSettingsStore::IniSettingsStore() : m_path(DefaultPath()) {}

QString IniSettingsStore::Get(const QString& key, const QString& vorgabe) const {
    QSettings s(m_path, QSettings::IniFormat);
    return s.value(QStringLiteral("Login/") + key, vorgabe).toString();
}

void IniSettingsStore::Set(const QString& key, const QString& value) {
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    {
        QSettings s(m_path, QSettings::IniFormat);
        s.setValue(QStringLiteral("Login/") + key, value);
        s.sync();
    }
    QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
