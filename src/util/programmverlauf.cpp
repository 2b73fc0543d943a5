#include "programmverlauf.h"

#include "platform/clock.h"
#include "platform/plattform.h"
#include "platform/umgebung.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Verlauf {
namespace {
std::function<void(const QString&)> g_ziel;
bool g_datei = false;
} // namespace

void setZiel(std::function<void(const QString&)> zeileOben) {
    g_ziel = std::move(zeileOben);
}
void setDateiProtokoll(bool an) {
    g_datei = an;
}
bool DateiProtokoll() {
    return g_datei;
}

QString DateiPfad() {
    return Plattform::TempVerzeichnis() + Plattform::Trennzeichen() +
           QStringLiteral("Benutzerverwaltung.txt");
}

QString Zeitstempel(const QDateTime& t) {
    // "DD.MM.YY HH:NN:SS.MS": after the dot come month and second without leading zero.
    return t.toString(QStringLiteral("dd.MM.yy HH:mm:ss")) + QLatin1Char('.') +
           QString::number(t.date().month()) + QString::number(t.time().second());
}

QString Dateizeile(const QDateTime& t, const QString& eintrag) {
    // One entry is one line: a logged value cannot end the quoted text or start
    // a line of its own.
    QString e = eintrag;
    e.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    e.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    e.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return QLatin1Char('"') + Zeitstempel(t) + QLatin1Char(';') + e + QStringLiteral("\"\r\n");
}

bool Anhaengen(const QString& pfad, const QByteArray& zeile, QString& warum) {
#ifdef Q_OS_UNIX
    // Readable by its owner only, never through a link, never someone else's file.
    const QByteArray name = QFile::encodeName(pfad);
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        warum = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid();
    if (!ok)
        warum = QStringLiteral("die Datei gehört einem anderen Benutzer oder ist keine gewöhnliche Datei");
    // A hard link would append to another of the user's files.
    if (ok && st.st_nlink != 1) {
        ok = false;
        warum = QStringLiteral("die Datei hat mehr als einen Namen (harter Link)");
    }
    // A file from before, readable by others, is closed now.
    if (ok && (st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0) {
        ok = false;
        warum = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (ok) ok = ::write(fd, zeile.constData(), static_cast<size_t>(zeile.size())) == zeile.size();
    ::close(fd);
    return ok;
#else
    // The Windows temporary directory belongs to the user alone.
    QFile f(pfad);
    if (!f.open(QIODevice::Append | QIODevice::WriteOnly)) {
        warum = f.errorString();
        return false;
    }
    return f.write(zeile) == zeile.size();
#endif
}
} // namespace Verlauf

void Programmverlauf(const QString& quelle, const QString& vorgang, const QString& detail) {
    const QString eintrag = quelle + QLatin1Char(';') + vorgang + QLatin1Char(';') + detail;
    if (Verlauf::g_ziel) Verlauf::g_ziel(eintrag);
    if (!Verlauf::g_datei) return;
    QString warum;
    const QString pfad = Verlauf::DateiPfad();
    if (Plattform::TempVerzeichnisPruefen(warum) &&
        Verlauf::Anhaengen(pfad, Verlauf::Dateizeile(Uhr().Now(), eintrag).toUtf8(), warum))
        return;
    // Said once in the viewer, so that a refused file does not go unnoticed.
    static QString gemeldet;
    if (gemeldet == pfad || !Verlauf::g_ziel) return;
    gemeldet = pfad;
    Verlauf::g_ziel(QStringLiteral("Programmverlauf;Verlaufsdatei nicht geschrieben;") + pfad + QStringLiteral(": ") +
                    warum);
}
