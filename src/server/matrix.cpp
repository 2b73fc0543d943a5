#include "matrix.h"

#include "klassen.h"
#include "sqlfactory.h"

#include <QSet>

#include <algorithm>

Matrixerzeuger::Matrixerzeuger(SqlCacheFactory& f, const QString& firma) {
    // One statement, so one snapshot of members, levels and empty groups: read
    // apart, a change in between could show a state the tables never had.
    // Kind "M": each member of each group once, with the name of its employee
    // record; "S": each level a group holds once; "O": groups without members.
    const std::vector<QString> alle = f.selectFlat(
        QStringLiteral("SELECT * FROM (SELECT DISTINCT 'M' AS art, gp.pcode AS a, gp.gruppe AS b, "
                       "COALESCE((SELECT p.pname FROM kv_parpersedv p WHERE p.firma = ? AND p.pcode = %1), '') AS c, "
                       "'' AS d FROM uv_gruppen_pcode gp "
                       "UNION ALL SELECT DISTINCT 'S', gruppe, programmname, subprogramm, berechtigungsstufe "
                       "FROM uv_programm_gruppe "
                       "UNION ALL SELECT 'O', g.gruppe, '', '', '' FROM uv_gruppen g WHERE NOT EXISTS "
                       "(SELECT 1 FROM uv_gruppen_pcode gp WHERE gp.gruppe = g.gruppe)) x ORDER BY 1, 2, 3, 4, 5")
            .arg(SiebenbitSql(QStringLiteral("gp.pcode"))),
        {firma}, 5);
    std::vector<QString> mitglieder, stufen, ohne;
    for (size_t i = 0; i + 5 <= alle.size(); i += 5) {
        const QString& art = alle[i];
        if (art == QLatin1String("M"))
            mitglieder.insert(mitglieder.end(), {alle[i + 1], alle[i + 3], alle[i + 2]});
        else if (art == QLatin1String("S"))
            stufen.insert(stufen.end(), {alle[i + 1], alle[i + 2], alle[i + 3], alle[i + 4]});
        else
            ohne.push_back(alle[i + 1]);
    }
    for (size_t i = 0; i + 4 <= stufen.size(); i += 4)
        m_stufen[stufen[i]].push_back({stufen[i + 1], stufen[i + 2], stufen[i + 3]});
    QSet<QString> mitMitgliedern;
    for (size_t i = 2; i < mitglieder.size(); i += 3)
        mitMitgliedern.insert(mitglieder[i]);
    // A level may grant a name that has no group record.
    QSet<QString> leer(ohne.begin(), ohne.end());
    for (auto it = m_stufen.cbegin(); it != m_stufen.cend(); ++it)
        if (!mitMitgliedern.contains(it.key())) leer.insert(it.key());
    std::vector<Einheit> kopf;
    for (const QString& g : leer)
        kopf.push_back({QString(), QString(), g});
    auto vor = [](const Einheit& a, const Einheit& b) {
        const int c = a.code.compare(b.code);
        return c != 0 ? c < 0 : a.gruppe < b.gruppe;
    };
    std::sort(kopf.begin(), kopf.end(), vor);
    std::vector<Einheit> rest;
    rest.reserve(mitglieder.size() / 3);
    for (size_t i = 0; i + 3 <= mitglieder.size(); i += 3)
        rest.push_back({mitglieder[i], sevenBitToDisplay(mitglieder[i + 1]), mitglieder[i + 2]});
    m_einheiten.reserve(kopf.size() + rest.size());
    std::merge(kopf.begin(), kopf.end(), rest.begin(), rest.end(), std::back_inserter(m_einheiten), vor);
}

bool Matrixerzeuger::Naechste() {
    if (m_aktuelleStufen && m_stufe + 1 < m_aktuelleStufen->size()) {
        ++m_stufe;
        return true;
    }
    if (++m_einheit >= static_cast<long>(m_einheiten.size())) {
        m_aktuelleStufen = nullptr;
        return false;
    }
    auto it = m_stufen.constFind(m_einheiten[static_cast<size_t>(m_einheit)].gruppe);
    m_aktuelleStufen = it == m_stufen.constEnd() ? nullptr : &*it;
    m_stufe = 0;
    return true;
}

const QString& Matrixerzeuger::Spalte(int nummer) const {
    const Einheit& e = m_einheiten[static_cast<size_t>(m_einheit)];
    switch (nummer) {
    case 1:
        return e.code;
    case 2:
        return e.name;
    case 3:
        return e.gruppe;
    default:
        return m_aktuelleStufen ? (*m_aktuelleStufen)[m_stufe][static_cast<size_t>(nummer - 4)] : m_leer;
    }
}
