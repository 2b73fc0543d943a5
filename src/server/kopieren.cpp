// Copying a group on the server: the new group with the source's members in
// their order and a grant on every level the source holds, set-based in one
// transaction, whatever the group's size. Two log entries: the creation with
// the members, and the grants as one entry that names every level, tied to
// the creation so that undoing the copy takes both back.

#include "protokoll.h"
#include "schema.h"
#include "sqlfactory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
[[noreturn]] void raise(int number, const QString& text) {
    throw CacheFehler(number, text);
}

// The rules the windows apply to names, also for callers that skip them.
bool NameGueltig(const QString& n) {
    return !n.isEmpty() && !n.contains(QLatin1String("||")) && !n.startsWith(QLatin1Char('|')) &&
           !n.endsWith(QLatin1Char('|')) && !n.contains(QChar(0)) && QStringView(n).isValidUtf16();
}
} // namespace

QString SqlCacheFactory::copyGroup(const QString& quelle, const QString& ziel, bool mitglieder, bool stufen) {
    if (!NameGueltig(ziel))
        raise(Fehlernummer::UngueltigeId,
              QStringLiteral("<INVALID ID> UserVerwaltung.Gruppen: \"%1\" ist als Name "
                             "einer Gruppe nicht zulässig")
                  .arg(ziel));
    if (quelle == ziel)
        raise(Fehlernummer::KonfliktVorhanden,
              QStringLiteral("<KONFLIKT> Gruppe %1 besteht bereits").arg(ziel));
    if (mitFunktionen())
        return befehlAufrufen(QStringLiteral("uv_gruppe_kopieren"), {rechner(), quelle, ziel, mitglieder, stufen});
    Guard g(*this);
    // The new name has no row to lock: creators of the same name take turns on it.
    if (isPostgres())
        select(QStringLiteral("SELECT pg_catalog.pg_advisory_xact_lock(pg_catalog.hashtextextended(?, 0))"),
               {QStringLiteral("uv_gruppen|") + ziel}, 1);
    const QString teilen = isPostgres() ? QStringLiteral(" FOR SHARE") : QString();
    if (select(QStringLiteral("SELECT 1 FROM uv_gruppen WHERE gruppe = ?") + teilen, {quelle}, 1).empty())
        raise(Fehlernummer::ObjektFehlt,
              QStringLiteral("<LOADOBJ> UserVerwaltung.Gruppen: kein Objekt mit der Id %1").arg(quelle));
    if (!select(QStringLiteral("SELECT 1 FROM uv_gruppen WHERE gruppe = ?"), {ziel}, 1).empty()) {
        const int n = loadList(*findClass(QStringLiteral("UserVerwaltung.Gruppen")), {ziel})->Count();
        raise(Fehlernummer::KonfliktVorhanden,
              QStringLiteral("<KONFLIKT> Gruppe %1 besteht bereits mit %2 %3")
                  .arg(ziel)
                  .arg(n)
                  .arg(n == 1 ? QStringLiteral("Eintrag") : QStringLiteral("Einträgen")));
    }
    execute(QStringLiteral("INSERT INTO uv_gruppen (gruppe) VALUES (?)"), {ziel});
    std::vector<QString> codes;
    if (mitglieder) {
        execute(QStringLiteral("INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) SELECT ?, pos, pcode "
                               "FROM uv_gruppen_pcode WHERE gruppe = ?"),
                {ziel, quelle});
        for (const QStringList& r :
             select(QStringLiteral("SELECT pcode FROM uv_gruppen_pcode WHERE gruppe = ? ORDER BY pos"),
                    {ziel}, 1))
            codes.push_back(r.front());
        // The copy's members are as temporary as the source's, their dates set by whoever copies.
        if (m_befristungen)
            execute(QStringLiteral("INSERT INTO uv_befristung (gruppe, pcode, bis, grund, firma, wer, wann) "
                                   "SELECT ?, pcode, bis, grund, ?, ?, %1 FROM uv_befristung WHERE gruppe = ?")
                        .arg(Schema::zeitSql(m_db)),
                    {ziel, m_anmeldung ? m_anmeldung->firma : QString(), m_anmeldung ? m_anmeldung->code : QString(),
                     quelle});
    }
    // The creation holds the members it brought: undoing it deletes the group.
    const qint64 nr = protokollieren(QStringLiteral("anlegen"), QStringLiteral("Gruppe ") + ziel, QString(),
                                     Protokoll::Json(codes));
    // The copied end dates, each tied to the creation.
    if (mitglieder && m_befristungen)
        for (const QStringList& b : select(QStringLiteral("SELECT pcode, bis, grund FROM uv_befristung WHERE gruppe = ? "
                                                          "ORDER BY pcode"),
                                           {ziel}, 3))
            protokollieren(QStringLiteral("befristen"), QStringLiteral("Befristung %1||%2").arg(ziel, b[0]), QString(),
                           befristungsfelder(b[1], b[2]), nr);
    int stufenZahl = 0;
    if (stufen) {
        // Every level that holds the source, locked in the order all commands lock levels.
        if (isPostgres())
            select(QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM uv_programm p WHERE EXISTS (SELECT 1 FROM "
                                  "uv_programm_gruppe s WHERE s.gruppe = ? AND s.programmname = p.programmname AND "
                                  "s.subprogramm = p.subprogramm AND s.berechtigungsstufe = p.berechtigungsstufe) "
                                  "ORDER BY p.programmname, p.subprogramm, p.berechtigungsstufe FOR UPDATE) x"),
                   {quelle}, 1);
        // The new group goes to the end of each level's list, once per level.
        stufenZahl = execute(
            QStringLiteral("INSERT INTO uv_programm_gruppe (programmname, subprogramm, berechtigungsstufe, pos, "
                           "gruppe) SELECT s.programmname, s.subprogramm, s.berechtigungsstufe, MAX(s.pos) + 1, "
                           "? FROM uv_programm_gruppe s WHERE EXISTS (SELECT 1 FROM uv_programm_gruppe q "
                           "WHERE q.gruppe = ? AND q.programmname = s.programmname AND q.subprogramm = "
                           "s.subprogramm AND q.berechtigungsstufe = s.berechtigungsstufe) "
                           "GROUP BY s.programmname, s.subprogramm, s.berechtigungsstufe"),
            {ziel, quelle});
        if (stufenZahl > 0) berechtigungProtokollieren(ziel, nr);
    }
    // The window shows the new group among the others next.
    Vorratsliste vorrat;
    vorrat.push_back(abfrageLesen(QStringLiteral("UserVerwaltung.Gruppen"), QStringLiteral("Gruppen"), {}));
    g.commit();
    vorratAufnehmen(std::move(vorrat));
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("mitglieder"), static_cast<int>(codes.size())},
                                  {QStringLiteral("stufen"), stufenZahl}})
            .toJson(QJsonDocument::Compact));
}

QString SqlCacheFactory::rechteUebernehmen(const QString& code, const QString& gruppen) {
    if (mitFunktionen()) return befehlAufrufen(QStringLiteral("uv_rechte_uebernehmen"), {rechner(), code, gruppen});
    const ClassDef& cls = *findClass(QStringLiteral("UserVerwaltung.Gruppen"));
    // In the servers' byte order of names, the order every command locks groups
    // in; a group named twice counts with the members given last.
    std::map<QByteArray, std::pair<QString, std::vector<QString>>> reihe;
    for (const QJsonValue& g : QJsonDocument::fromJson(gruppen.toUtf8()).array()) {
        const QString name = g.toArray().at(0).toString();
        auto& [n, m] = reihe[name.toUtf8()];
        n = name;
        m.clear();
        for (const QJsonValue& c : g.toArray().at(1).toArray())
            m.push_back(c.toString());
    }
    Guard g(*this);
    for (const auto& [schluessel, eintrag] : reihe) {
        const auto& [name, mitglieder] = eintrag;
        SysList geladen, neu;
        for (const QString& c : mitglieder) {
            geladen.Append(c);
            neu.Append(c);
        }
        neu.Append(code);
        checkList(cls, {name}, geladen, true);
        saveList(cls, {name}, neu);
    }
    g.commit();
    return {};
}
