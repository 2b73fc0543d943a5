// What the change log holds, and how it is written: one entry per change, in
// the change's own transaction, naming the user signed on at that moment.
// An entry keeps everything the change removed or added, so that the change
// can be rebuilt from it.

#include "protokoll.h"

#include "schema.h"
#include "sqlfactory.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QSqlError>
#include <QSqlQuery>
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

const QString KettenSpalten = QStringLiteral(
    "nr, zeit, firma, filiale, pcode, rechner, rolle, befehl, objekt, vorher, nachher, bezug");
const QString BereinigenBefehl = QStringLiteral("bereinigen");
const QString BereinigenObjekt = QStringLiteral("Änderungsprotokoll");

// Each value as its length in bytes, ':' and the value: no two lists of
// values give the same text (the server's function does the same).
QString EintragHash(const QString& vor, const QStringList& felder) {
    QCryptographicHash h(QCryptographicHash::Sha256);
    auto feld = [&h](const QString& wert) {
        const QByteArray b = wert.toUtf8();
        h.addData(QByteArray::number(b.size()) + ':' + b);
    };
    feld(vor);
    for (const QString& f : felder)
        feld(f);
    return QString::fromLatin1(h.result().toHex());
}

void Verketten(const Lesen& lesen, const Schreiben& schreiben, long long ab) {
    const int n = static_cast<int>(KettenSpalten.count(QLatin1Char(','))) + 1;
    QStringList spalten = KettenSpalten.split(QStringLiteral(", "));
    for (QString& sp : spalten)
        sp.prepend(QStringLiteral("p."));
    const auto offen = lesen(QStringLiteral("SELECT %1, COALESCE((SELECT v.hash FROM uv_protokoll v WHERE v.nr < p.nr "
                                            "ORDER BY v.nr DESC LIMIT 1), '') FROM uv_protokoll p WHERE p.hash = '' "
                                            "AND p.nr >= ? ORDER BY p.nr")
                                 .arg(spalten.join(QStringLiteral(", "))),
                             {ab}, n + 1);
    QString vor = offen.empty() ? QString() : offen.front()[n];
    for (const QStringList& z : offen) {
        vor = EintragHash(vor, z.mid(0, n));
        schreiben(QStringLiteral("UPDATE uv_protokoll SET hash = ? WHERE nr = ?"), {vor, z[0].toLongLong()});
    }
}

bool Verketten(QSqlDatabase& db, QString& reason, long long ab) {
    bool ok = true;
    auto ausfuehren = [&](QSqlQuery& q, const QString& sql, const QVariantList& binds) {
        q.prepare(sql);
        for (const QVariant& b : binds)
            q.addBindValue(b);
        if (ok && !q.exec()) {
            reason = q.lastError().text();
            ok = false;
        }
        return ok;
    };
    Verketten(
        [&](const QString& sql, const QVariantList& binds, int spalten) {
            std::vector<QStringList> zeilen;
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (!ausfuehren(q, sql, binds)) return zeilen;
            while (q.next()) {
                QStringList z;
                for (int i = 0; i < spalten; ++i)
                    z.append(q.value(i).toString());
                zeilen.push_back(z);
            }
            return zeilen;
        },
        [&](const QString& sql, const QVariantList& binds) {
            QSqlQuery q(db);
            ausfuehren(q, sql, binds);
        },
        ab);
    return ok;
}

QString KettenSperreSql(const QSqlDatabase& db) {
    return Schema::isPostgres(db) ? QStringLiteral("SELECT pg_catalog.pg_advisory_xact_lock(4711, 0)") : QString();
}

QString RolleSql(const QSqlDatabase& db) {
    return Schema::isPostgres(db) ? QStringLiteral("CAST(session_user AS TEXT)") : QStringLiteral("''");
}

bool KettePruefen(QSqlDatabase& db, Kettenbefund& befund, QString& reason) {
    befund = {};
    QSqlQuery q(db);
    // Where the newest purge says the chain starts now.
    q.prepare(QStringLiteral("SELECT vorher FROM uv_protokoll WHERE befehl = ? AND objekt = ? ORDER BY nr DESC LIMIT 1"));
    q.addBindValue(BereinigenBefehl);
    q.addBindValue(BereinigenObjekt);
    if (!q.exec()) {
        reason = q.lastError().text();
        return false;
    }
    const QString anfang = q.next() ? q.value(0).toString() : QString();
    const long long anfangNr = anfang.section(QLatin1Char(':'), 0, 0).toLongLong();
    const int n = static_cast<int>(KettenSpalten.count(QLatin1Char(','))) + 1;
    QSqlQuery z(db);
    z.setForwardOnly(true);
    if (!z.exec(QStringLiteral("SELECT %1, hash FROM uv_protokoll ORDER BY nr").arg(KettenSpalten))) {
        reason = z.lastError().text();
        return false;
    }
    QString vor;
    bool erster = true;
    QStringList felder;
    while (z.next()) {
        felder.clear();
        for (int i = 0; i < n; ++i)
            felder.append(z.value(i).toString());
        const long long nr = felder[0].toLongLong();
        if (erster && anfangNr > 0 && nr == anfangNr) vor = anfang.section(QLatin1Char(':'), 1);
        erster = false;
        if (EintragHash(vor, felder) != z.value(n).toString()) {
            befund.ganz = false;
            befund.bruch = nr;
            break;
        }
        vor = z.value(n).toString();
        ++befund.anzahl;
    }
    befund.letzterHash = vor;
    return true;
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
    // The user this connection signed on, never what the client claims. A
    // connection entry is no permission: saved before anyone signed on, it names nobody.
    if (objekt.startsWith(QLatin1String("Verbindung "))) {
        const QHash<QString, QString>& l = m_interpreter.locals();
        return {m_anmeldung ? m_anmeldung->firma : l.value(QStringLiteral("FIRMA")),
                m_anmeldung ? m_anmeldung->filiale : l.value(QStringLiteral("FIL")),
                m_anmeldung ? m_anmeldung->code : QString(), QSysInfo::machineHostName(), befehl, objekt};
    }
    berechtigungPruefen();
    return {m_anmeldung->firma, m_anmeldung->filiale, m_anmeldung->code, QSysInfo::machineHostName(), befehl, objekt};
}

qint64 SqlCacheFactory::protokollieren(const QString& befehl, const QString& objekt, const QString& vorher,
                                       const QString& nachher, qint64 bezug) {
    if (!m_protokoll) return 0;
    const QVariantList kopf = Kopf(befehl, objekt);
    kettenSperre();
    const qint64 nr = select(QStringLiteral("INSERT INTO uv_protokoll (zeit, firma, filiale, pcode, rechner, befehl, "
                                            "objekt, vorher, nachher, bezug%2) VALUES (%1, ?, ?, ?, ?, ?, ?, ?, ?, "
                                            "?%3) RETURNING nr")
                                 .arg(Schema::zeitSql(m_db), m_kette ? QStringLiteral(", rolle") : QString(),
                                      m_kette ? QStringLiteral(", ") + Protokoll::RolleSql(m_db) : QString()),
                             kopf + QVariantList{vorher, nachher, bezug}, 1)
                          .front()
                          .front()
                          .toLongLong();
    verketten(nr);
    return nr;
}

void SqlCacheFactory::kettenSperre() {
    if (!m_kette) return;
    const QString sql = Protokoll::KettenSperreSql(m_db);
    if (!sql.isEmpty()) select(sql, {}, 1);
}

void SqlCacheFactory::verketten(qint64 nr) {
    if (!m_kette) return;
    Protokoll::Verketten([this](const QString& sql, const QVariantList& binds,
                                int spalten) { return select(sql, binds, spalten); },
                         [this](const QString& sql, const QVariantList& binds) { execute(sql, binds); }, nr);
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
    const QVariantList kopf = Kopf(befehl, QStringLiteral("Gruppe ") + gruppe);
    kettenSperre();
    const auto neu = select(QStringLiteral("INSERT INTO uv_protokoll (zeit, firma, filiale, pcode, rechner, befehl, objekt, "
                               "bezug%4, %3) SELECT %1, ?, ?, ?, ?, ?, ?, ?%5, '[]', %2 HAVING COUNT(*) > 0 RETURNING nr")
                    .arg(Schema::zeitSql(m_db), liste,
                         entzogen ? QStringLiteral("nachher, vorher") : QStringLiteral("vorher, nachher"),
                         m_kette ? QStringLiteral(", rolle") : QString(),
                         m_kette ? QStringLiteral(", ") + Protokoll::RolleSql(m_db) : QString()),
                kopf + QVariantList{bezug, gruppe}, 1);
    if (!neu.empty()) verketten(neu.front().front().toLongLong());
}
