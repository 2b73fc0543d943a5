#pragma once
// Two employees' rows compared: each row (code, name, group, program,
// sub-program, level; the program columns empty for a group without levels)
// gets in front "beide" when the other holds the level too (or is in the group
// too), else "nur CODE", and the rows are sorted by level, code and group.
// Done here rather than in SQL: grouping and sorting the largest employees'
// 50,000 rows on the server cost several times the reading. Shared by the
// window and korval-db.

#include <QHash>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <tuple>
#include <vector>

namespace Vergleichszeilen {

inline void Einordnen(std::vector<QStringList>& zeilen, const QString& code1) {
    auto schluessel = [](const QStringList& z) {
        return z[3].isEmpty() && z[4].isEmpty() && z[5].isEmpty()
                   ? QStringLiteral("G\x1f") + z[2]
                   : QStringLiteral("S\x1f") + z[3] + QLatin1Char('\x1f') + z[4] + QLatin1Char('\x1f') + z[5];
    };
    QHash<QString, int> wer; // 1: the first employee, 2: the second, 3: both
    wer.reserve(static_cast<qsizetype>(zeilen.size()));
    for (const QStringList& z : zeilen)
        wer[schluessel(z)] |= z[0] == code1 ? 1 : 2;
    for (QStringList& z : zeilen)
        z.prepend(wer.value(schluessel(z)) == 3 ? QStringLiteral("beide") : QStringLiteral("nur ") + z[0]);
    std::sort(zeilen.begin(), zeilen.end(), [](const QStringList& a, const QStringList& b) {
        return std::tie(a[4], a[5], a[6], a[1], a[3]) < std::tie(b[4], b[5], b[6], b[1], b[3]);
    });
}

} // namespace Vergleichszeilen
