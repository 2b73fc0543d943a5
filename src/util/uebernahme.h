#pragma once
// Taking over a colleague's rights: the colleague's groups the employee is not
// in yet, and how many levels the employee gains through them. Shared by the
// dialog and korval-db.

#include <QString>
#include <QStringList>

#include <set>
#include <utility>
#include <vector>

namespace Uebernahme {

struct Plan {
    QStringList gruppen; // in the colleague's order (ascending)
    int neueStufen = 0;  // levels the employee does not hold yet
};

// `gruppenVon`/`gruppenNach`: the groups of colleague and employee;
// `stufenVon`/`stufenNach`: (group, level id) of what each holds.
inline Plan Berechnen(const QStringList& gruppenVon, const QStringList& gruppenNach,
                      const std::vector<std::pair<QString, QString>>& stufenVon,
                      const std::vector<std::pair<QString, QString>>& stufenNach) {
    Plan p;
    for (const QString& g : gruppenVon)
        if (!gruppenNach.contains(g) && !p.gruppen.contains(g)) p.gruppen.append(g);
    std::set<QString> hat;
    for (const auto& [gruppe, stufe] : stufenNach)
        hat.insert(stufe);
    std::set<QString> neu;
    for (const auto& [gruppe, stufe] : stufenVon)
        if (p.gruppen.contains(gruppe) && !hat.count(stufe)) neu.insert(stufe);
    p.neueStufen = static_cast<int>(neu.size());
    return p;
}

} // namespace Uebernahme
