#include "uebersicht.h"

#include "util/verstosszeilen.h"

#include <QDateTime>

#include "fortschritt.h"

#include "bericht.h"

#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "permissions/listen.h"

#include <algorithm>
#include <tuple>

namespace Uebersicht {

namespace {
const QString KlasseGruppen = QStringLiteral("UserVerwaltung.Gruppen");

// Runs a query of the group class and hands on each row; the query is closed
// whatever happens.
void Abfragen(const QString& name, const QStringList& parameter, int spalten,
              const std::function<bool(const QStringList&)>& je) {
    CacheAbfragePtr q;
    try {
        DbBeginn(false);
        q = Zustand().CacheFactory->Abfrage(KlasseGruppen, name);
        q->Ausfuehren(parameter);
        QStringList zeile;
        while (q->Naechste()) {
            zeile.clear();
            for (int i = 1; i <= spalten; ++i)
                zeile.append(q->Spalte(i));
            if (!je(zeile)) break;
        }
        ObjektSchliessen(q);
        DbEnde(false);
    } catch (...) {
        // A server error, or a report cancelled while it reads.
        ObjektSchliessen(q);
        DbEnde(false);
        throw;
    }
}
} // namespace

Ergebnis Lesen(const Auswahl& a) {
    Ergebnis e;
    Abfragen(QStringLiteral("Uebersicht"),
             {Zustand().Firma, a.code, a.gruppe, a.programm, a.subprogramm, a.stufe}, 7,
             [&e](const QStringList& z) {
                 const QString art = z[0];
                 if (art == QLatin1String("G")) {
                     e.gruppen.append(z[1]);
                 } else if (art == QLatin1String("M")) {
                     // "1" and the name, or empty without an employee record.
                     const bool stamm = !z[3].isEmpty();
                     e.mitglieder.push_back({z[1], z[2], stamm ? Anzeigename(z[3].mid(1)) : QString(), stamm});
                 } else {
                     e.stufen.push_back({z[1], z[4], z[5], z[6]});
                 }
                 return true;
             });
    e.gruppen.sort();
    std::sort(e.mitglieder.begin(), e.mitglieder.end(), [](const Mitglied& x, const Mitglied& y) {
        return std::tie(x.gruppe, x.code) < std::tie(y.gruppe, y.code);
    });
    std::sort(e.stufen.begin(), e.stufen.end(), [](const Stufe& x, const Stufe& y) {
        return std::tie(x.programm, x.subprogramm, x.stufe, x.gruppe) <
               std::tie(y.programm, y.subprogramm, y.stufe, y.gruppe);
    });
    return e;
}

std::vector<QStringList> Befristungen(const QDate& heute) {
    std::vector<QStringList> zeilen;
    Abfragen(QStringLiteral("Befristungen"), {Zustand().Firma}, 7, [&](const QStringList& z) {
        const QDate bis = QDate::fromString(z[3], Qt::ISODate);
        zeilen.push_back({z[0], z[1], z[2].isEmpty() ? QString() : Anzeigename(z[2]),
                          bis.toString(QStringLiteral("dd.MM.yyyy")), QString::number(heute.daysTo(bis)), z[4], z[5]});
        return true;
    });
    return zeilen;
}

std::vector<QStringList> Verstoesse() {
    std::vector<QStringList> zeilen;
    const auto fertig = [&zeilen](QStringList z) {
        if (!z[1].isEmpty()) z[1] = Anzeigename(z[1]);
        const QDateTime am = QDateTime::fromString(z[7], Qt::ISODateWithMs);
        if (am.isValid()) z[7] = am.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        zeilen.push_back(std::move(z));
    };
    CacheAbfragePtr q;
    try {
        DbBeginn(false);
        q = Zustand().CacheFactory->Abfrage(QStringLiteral("UserVerwaltung.Regel"), QStringLiteral("Verstoesse"));
        q->Ausfuehren({Zustand().Firma});
        Verstosszeilen::Lesen(*q, fertig);
        ObjektSchliessen(q);
        DbEnde(false);
    } catch (const CacheFehler&) {
        ObjektSchliessen(q);
        DbEnde(false);
        throw;
    }
    return zeilen;
}

QStringList BefristungenSpalten() {
    return {QStringLiteral("Gruppe"), QStringLiteral("PCode"), QStringLiteral("Name"), QStringLiteral("bis"),
            QStringLiteral("Tage"), QStringLiteral("Grund"), QStringLiteral("Befristet von")};
}

std::vector<CtFilterList::Eintrag> MitarbeiterEintraege(bool abteilungen) {
    std::vector<CtFilterList::Eintrag> zeilen;
    MitarbeiterLesen(abteilungen, [&zeilen](QString zeile, const QString&) {
        const qsizetype t = zeile.indexOf(QLatin1Char(';'));
        zeilen.push_back({zeile, QStringList{zeile.left(t), zeile.mid(t + 1)}});
    });
    return zeilen;
}

QStringList MatrixSpalten() {
    return {QStringLiteral("Code"),     QStringLiteral("Name"),          QStringLiteral("Gruppe"),
            QStringLiteral("Programm"), QStringLiteral("Unterprogramm"), QStringLiteral("Stufe")};
}

void Matrix(const Auswahl& a, const std::function<bool(const QStringList&)>& je) {
    Abfragen(QStringLiteral("Matrix"),
             {Zustand().Firma, a.code, a.gruppe, a.programm, a.subprogramm, a.stufe}, 6, je);
}

bool MatrixSchreiben(const QString& pfad, const Auswahl& auswahl, QString& fehler, Fortschritt* fortschritt) {
    return Berichte::CsvSchreiben(
        pfad, MatrixSpalten(),
        [&auswahl, fortschritt](const Berichte::Schreiber& schreiben) {
            Matrix(auswahl, [&schreiben, fortschritt](const QStringList& z) {
                schreiben(z);
                if (fortschritt) fortschritt->Zeile();
                return true;
            });
        },
        fehler);
}

QString Name(const Mitglied& m) {
    return m.stamm ? m.name : QStringLiteral("(kein Mitarbeiterstamm)");
}

} // namespace Uebersicht
