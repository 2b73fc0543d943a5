// The settings file: whatever a file holds, reading the program's keys from
// it gives text or nothing, never a crash.

#include "platform/settingsstore.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* daten, std::size_t groesse) {
    if (groesse > 8192) return 0;
    static QTemporaryDir dir;
    const QString pfad = dir.filePath(QStringLiteral("Cache Login.ini"));
    {
        QFile f(pfad);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(daten), static_cast<qint64>(groesse));
    }
    IniSettingsStore s(pfad);
    for (const char* k : {"Server", "ServerObjekt", "Firma", "Filiale", "Port", "Namespace", "Name", "Passwort"})
        s.Get(QString::fromLatin1(k));
    return 0;
}
