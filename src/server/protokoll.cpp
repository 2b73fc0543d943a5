// What the change log holds, and how it is written: one entry per change, in
// the change's own transaction, naming the user signed on at that moment.
// An entry keeps everything the change removed or added, so that the change
// can be rebuilt from it.

#include "protokoll.h"

#include "schema.h"
#include "sqlfactory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <algorithm>

namespace Protokoll {

QString Json(const std::vector<QString>& werte) {
    QJsonArray a;
    for (const QString& w : werte)
        a.append(w);
    return QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact));
}

std::vector<QString> Werte(const QString& json) {
    std::vector<QString> w;
    for (const QJsonValue& v : QJsonDocument::fromJson(json.toUtf8()).array())
        w.push_back(v.toString());
    return w;
}

bool GleicheMenge(std::vector<QString> a, std::vector<QString> b) {
    if (a.size() != b.size()) return false;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return a == b;
}

} // namespace Protokoll

QString SqlCacheFactory::Objektname(const ClassDef& cls, const QStringList& key) {
    const QString id = key.join(QStringLiteral("||"));
    if (cls.table == QLatin1String("uv_gruppen")) return QStringLiteral("Gruppe ") + id;
    if (cls.table == QLatin1String("uv_programm")) return QStringLiteral("Stufe ") + id;
    if (cls.table == QLatin1String("kv_kassasw")) return QStringLiteral("Verbindung ") + id;
    return cls.name + QLatin1Char(' ') + id;
}

QVariantList SqlCacheFactory::Kopf(const QString& befehl, const QString& objekt) {
    if (!m_schemaFehler.isEmpty()) throw CacheFehler(Fehlernummer::SchemaVeraltet, m_schemaFehler);
    // The user context the session set last: the user signed on now.
    const QHash<QString, QString>& l = m_interpreter.locals();
    return {l.value(QStringLiteral("FIRMA")), l.value(QStringLiteral("FIL")), l.value(QStringLiteral("PERSONAL")),
            QSysInfo::machineHostName(), befehl, objekt};
}

qint64 SqlCacheFactory::protokollieren(const QString& befehl, const QString& objekt, const QString& vorher,
                                       const QString& nachher, qint64 bezug) {
    if (!m_protokoll) return 0;
    return select(QStringLiteral("INSERT INTO uv_protokoll (zeit, firma, filiale, pcode, rechner, befehl, objekt, "
                                 "vorher, nachher, bezug) VALUES (%1, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING nr")
                      .arg(Schema::zeitSql(m_db)),
                  Kopf(befehl, objekt) + QVariantList{vorher, nachher, bezug}, 1)
        .front()
        .front()
        .toLongLong();
}

QString SqlCacheFactory::Felder(const ClassDef& cls, const QStringList& key) {
    const Vorrat satz = objektLesen(cls, key).second;
    if (!satz.da) return {};
    QJsonObject o;
    for (const PropertyDef& p : cls.properties)
        o.insert(p.name, satz.felder.value(p.column));
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QString SqlCacheFactory::Stufeninhalt(const QString& wo, const QVariantList& binds) {
    // Every level with its groups in order; a level without groups keeps an
    // empty list (its position column is empty, a group name may be "").
    const auto rows = select(
        QStringLiteral("SELECT p.programmname, p.subprogramm, p.berechtigungsstufe, COALESCE(CAST(g.pos AS TEXT), ''), "
                       "COALESCE(g.gruppe, '') FROM uv_programm p LEFT JOIN uv_programm_gruppe g ON "
                       "g.programmname = p.programmname AND g.subprogramm = p.subprogramm AND "
                       "g.berechtigungsstufe = p.berechtigungsstufe ") +
            wo + QStringLiteral(" ORDER BY p.programmname, p.subprogramm, p.berechtigungsstufe, g.pos"),
        binds, 5);
    QJsonObject o;
    for (const QStringList& r : rows) {
        const QString id = r.mid(0, 3).join(QStringLiteral("||"));
        QJsonArray a = o.value(id).toArray();
        if (!r[3].isEmpty()) a.append(r[4]);
        o.insert(id, a);
    }
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

void SqlCacheFactory::entzugProtokollieren(const QString& gruppe) {
    // Part of the group's delete in the same transaction, if it was deleted: undoing that brings both back.
    stufenProtokollieren(QStringLiteral("aus Stufen entfernen"), gruppe, m_geloeschteGruppen.value(gruppe, 0), true);
}

void SqlCacheFactory::berechtigungProtokollieren(const QString& gruppe, qint64 bezug) {
    stufenProtokollieren(QStringLiteral("berechtigen"), gruppe, bezug, false);
}

void SqlCacheFactory::stufenProtokollieren(const QString& befehl, const QString& gruppe, qint64 bezug, bool entzogen) {
    if (!m_protokoll) return;
    // The levels, each as often as it holds the group, put together on the
    // server: the largest group holds every level.
    const QString id = QStringLiteral("programmname || '||' || subprogramm || '||' || berechtigungsstufe");
    const QString stufen = QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe, pos "
                                          "FROM uv_programm_gruppe WHERE gruppe = ?");
    const QString liste =
        isPostgres() ? QStringLiteral("to_json(array_agg(%1 ORDER BY programmname, subprogramm, berechtigungsstufe, "
                                      "pos))::text FROM (%2) x")
                           .arg(id, stufen)
                     : QStringLiteral("json_group_array(%1) FROM (%2 ORDER BY 1, 2, 3, 4) x").arg(id, stufen);
    // Withdrawn: the levels before, none after; granted: the other way round.
    execute(QStringLiteral("INSERT INTO uv_protokoll (zeit, firma, filiale, pcode, rechner, befehl, objekt, "
                           "bezug, %3) SELECT %1, ?, ?, ?, ?, ?, ?, ?, '[]', %2 HAVING COUNT(*) > 0")
                .arg(Schema::zeitSql(m_db), liste,
                     entzogen ? QStringLiteral("nachher, vorher") : QStringLiteral("vorher, nachher")),
            Kopf(befehl, QStringLiteral("Gruppe ") + gruppe) + QVariantList{bezug, gruppe});
}
