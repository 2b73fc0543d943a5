#pragma once
// Two employees compared: the levels only the one holds, both hold, only the
// other holds, each with the groups that grant it, and each one's groups.
// One server query ("Vergleich"), shared with korval-db's report.

#include <QString>
#include <QStringList>

#include <vector>

namespace Vergleich {

struct Stufe {
    QString programm, subprogramm, stufe;
    QStringList gruppenA, gruppenB; // granting groups of each, ascending
};

struct Ergebnis {
    std::vector<Stufe> nurA, beide, nurB;
    QStringList gruppenA, gruppenB;
    // The query's rows as the CSV has them (Spalten()).
    std::vector<QStringList> zeilen;
};

// Throws CacheFehler.
Ergebnis Lesen(const QString& codeA, const QString& codeB);
QStringList Spalten();

} // namespace Vergleich
