#include "vergleich.h"

#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "util/vergleichszeilen.h"

#include <QSet>

namespace Vergleich {

QStringList Spalten() {
    return {QStringLiteral("Vergleich"), QStringLiteral("Code"),     QStringLiteral("Name"),
            QStringLiteral("Gruppe"),    QStringLiteral("Programm"), QStringLiteral("Unterprogramm"),
            QStringLiteral("Stufe")};
}

Ergebnis Lesen(const QString& codeA, const QString& codeB) {
    Ergebnis e;
    CacheAbfragePtr q;
    try {
        DbBeginn(false);
        q = Zustand().CacheFactory->Abfrage(QStringLiteral("UserVerwaltung.Gruppen"),
                                            QStringLiteral("Vergleich"));
        q->Ausfuehren({Zustand().Firma, codeA, codeB});
        while (q->Naechste()) {
            QStringList z;
            for (int i = 1; i <= 6; ++i)
                z.append(q->Spalte(i));
            e.zeilen.push_back(z);
        }
        ObjektSchliessen(q);
        DbEnde(false);
    } catch (const CacheFehler&) {
        ObjektSchliessen(q);
        DbEnde(false);
        throw;
    }
    Vergleichszeilen::Einordnen(e.zeilen, codeA);
    // Rows come by level, then employee and group: one entry per level.
    QSet<QString> gesehenA, gesehenB;
    for (const QStringList& z : e.zeilen) {
        const bool a = z[1] == codeA;
        if ((a ? gesehenA : gesehenB).contains(z[3]) == false) {
            (a ? gesehenA : gesehenB).insert(z[3]);
            (a ? e.gruppenA : e.gruppenB).append(z[3]);
        }
        if (z[4].isEmpty() && z[5].isEmpty() && z[6].isEmpty()) continue;
        std::vector<Stufe>& liste = z[0] == QLatin1String("beide") ? e.beide : a ? e.nurA : e.nurB;
        if (liste.empty() || liste.back().programm != z[4] || liste.back().subprogramm != z[5] ||
            liste.back().stufe != z[6])
            liste.push_back({z[4], z[5], z[6], {}, {}});
        (a ? liste.back().gruppenA : liste.back().gruppenB).append(z[3]);
    }
    e.gruppenA.sort();
    e.gruppenB.sort();
    return e;
}

} // namespace Vergleich
