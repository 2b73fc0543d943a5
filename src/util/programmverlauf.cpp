#include "programmverlauf.h"

#include "platform/clock.h"
#include "platform/plattform.h"
#include "platform/umgebung.h"

#include <QFile>

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
    return QLatin1Char('"') + Zeitstempel(t) + QLatin1Char(';') + eintrag + QStringLiteral("\"\r\n");
}
} // namespace Verlauf

void Programmverlauf(const QString& quelle, const QString& vorgang, const QString& detail) {
    const QString eintrag = quelle + QLatin1Char(';') + vorgang + QLatin1Char(';') + detail;
    if (Verlauf::g_ziel) Verlauf::g_ziel(eintrag);
    if (!Verlauf::g_datei) return;
    QFile f(Verlauf::DateiPfad());
    if (!f.open(QIODevice::Append | QIODevice::WriteOnly)) return;
    f.write(Verlauf::Dateizeile(Uhr().Now(), eintrag).toUtf8());
}
