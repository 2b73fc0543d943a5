// Memberships with an end date: the date beside the member list, set or
// removed under the group's lock, and the expiry of those whose date has
// passed, each logged; on PostgreSQL through the server's functions.

#include "protokoll.h"
#include "schema.h"
#include "sqlfactory.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <map>

namespace {
[[noreturn]] void raise(int number, const QString& text) {
    throw CacheFehler(number, text);
}

} // namespace

// The date and the reason as the log shows them, as the server builds them.
QString SqlCacheFactory::befristungsfelder(const QString& bis, const QString& grund) {
    auto json = [](const QString& t) {
        const QByteArray a = QJsonDocument(QJsonArray{t}).toJson(QJsonDocument::Compact);
        return QString::fromUtf8(a.mid(1, a.size() - 2));
    };
    return QStringLiteral("{\"bis\":%1,\"grund\":%2}").arg(json(bis), json(grund));
}

namespace {
// A date as people write it (one in another form as it is stored).
QString DatumText(const QString& bis) {
    const QDate d = QDate::fromString(bis, Qt::ISODate);
    return d.isValid() && bis.size() == 10 ? d.toString(QStringLiteral("dd.MM.yyyy")) : bis;
}
} // namespace

QString SqlCacheFactory::befristungText(const QString& bis, const QString& grund) {
    return QStringLiteral("befristet bis %1%2%3")
        .arg(DatumText(bis), grund.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(grund),
             bis < QDate::currentDate().toString(Qt::ISODate)
                 ? QStringLiteral(" – das Datum ist vorbei: die nächste Anmeldung eines Verwalters oder "
                                  "\"korval-db ablauf\" entfernt die Mitgliedschaft")
                 : QString());
}

QJsonArray SqlCacheFactory::befristungsHinweise(qint64 eintrag, const QJsonArray& plan) {
    QJsonArray hinweise;
    if (!m_befristungen) return hinweise;
    // Per group the members the plan gives back and takes out.
    std::map<QString, std::pair<QSet<QString>, QSet<QString>>> gruppen;
    for (const QJsonValue& v : plan) {
        const QJsonObject s = v.toObject();
        const QString o = s.value(QStringLiteral("objekt")).toString();
        if (s.value(QStringLiteral("fehlt")).toBool() || !o.startsWith(QLatin1String("Gruppe "))) continue;
        auto& [hinzu, weg] = gruppen[o.mid(7)];
        for (const QJsonValue& w : s.value(QStringLiteral("hinzu")).toArray())
            hinzu.insert(w.toString());
        for (const QJsonValue& w : s.value(QStringLiteral("weg")).toArray())
            weg.insert(w.toString());
    }
    std::map<QString, QString> texte;
    for (const QStringList& z : select(QStringLiteral("SELECT objekt, vorher FROM uv_protokoll WHERE bezug = ? AND "
                                                      "befehl = 'mit entfernt' ORDER BY nr DESC"),
                                       {eintrag}, 2)) {
        const QStringList k = z[0].mid(11).split(QStringLiteral("||"));
        if (k.size() != 2 || texte.count(z[0])) continue;
        const auto g = gruppen.find(k[0]);
        const bool zurueck = g != gruppen.end() && g->second.first.contains(k[1]);
        const bool bleibt = (g == gruppen.end() || !g->second.second.contains(k[1])) &&
                            !select(QStringLiteral("SELECT 1 FROM uv_gruppen_pcode WHERE gruppe = ? AND pcode = ?"),
                                    {k[0], k[1]}, 1)
                                 .empty();
        if ((!zurueck && !bleibt) ||
            !select(QStringLiteral("SELECT 1 FROM uv_befristung WHERE gruppe = ? AND pcode = ?"), {k[0], k[1]}, 1).empty())
            continue;
        const QJsonObject f = QJsonDocument::fromJson(z[1].toUtf8()).object();
        texte[z[0]] = QStringLiteral("kommt mit dem Mitglied wieder, ") +
                      befristungText(f.value(QStringLiteral("bis")).toString(), f.value(QStringLiteral("grund")).toString());
    }
    for (const auto& [gruppe, aenderung] : gruppen) {
        if (aenderung.second.isEmpty()) continue;
        for (const QStringList& b :
             select(QStringLiteral("SELECT pcode, bis FROM uv_befristung WHERE gruppe = ?"), {gruppe}, 2))
            if (aenderung.second.contains(b[0]) && !aenderung.first.contains(b[0]))
                texte[QStringLiteral("Befristung %1||%2").arg(gruppe, b[0])] =
                    QStringLiteral("entfällt mit dem Mitglied (bis %1)").arg(DatumText(b[1]));
    }
    for (const auto& [o, t] : texte)
        hinweise.append(QJsonObject{{QStringLiteral("objekt"), o}, {QStringLiteral("text"), t}});
    return hinweise;
}

void SqlCacheFactory::befristungenBereinigen(const QStringList& gruppen, std::optional<qint64> nr) {
    if (!m_befristungen) return;
    const QString liste = QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(gruppen)).toJson(QJsonDocument::Compact));
    const QString wo = QStringLiteral("(CAST(? AS TEXT) = '[]' OR gruppe IN (%1)) AND NOT EXISTS (SELECT 1 FROM "
                                      "uv_gruppen_pcode m WHERE m.gruppe = uv_befristung.gruppe AND "
                                      "m.pcode = uv_befristung.pcode)")
                           .arg(Schema::jsonWerteSql(m_db));
    const std::vector<QStringList> weg =
        select(QStringLiteral("SELECT gruppe, pcode, bis, grund FROM uv_befristung WHERE %1 ORDER BY gruppe, pcode").arg(wo),
               {liste, liste}, 4);
    if (weg.empty()) return;
    execute(QStringLiteral("DELETE FROM uv_befristung WHERE %1").arg(wo), {liste, liste});
    for (const QStringList& z : weg)
        protokollieren(nr ? QStringLiteral("mit entfernt") : QStringLiteral("ohne Mitglied entfernt"),
                       QStringLiteral("Befristung %1||%2").arg(z[0], z[1]), befristungsfelder(z[2], z[3]), QString(),
                       nr.value_or(0));
}

void SqlCacheFactory::befristungenZurueck(qint64 eintrag, qint64 nr) {
    if (!m_befristungen) return;
    QStringList gesehen;
    for (const QStringList& z : select(QStringLiteral("SELECT objekt, vorher FROM uv_protokoll WHERE bezug = ? AND "
                                                      "befehl = 'mit entfernt' ORDER BY nr DESC"),
                                       {eintrag}, 2)) {
        if (gesehen.contains(z[0])) continue;
        gesehen.append(z[0]);
        const QStringList k = z[0].mid(11).split(QStringLiteral("||"));
        const QJsonObject f = QJsonDocument::fromJson(z[1].toUtf8()).object();
        if (k.size() != 2 ||
            select(QStringLiteral("SELECT 1 FROM uv_gruppen_pcode m WHERE m.gruppe = ? AND m.pcode = ? AND NOT EXISTS "
                                  "(SELECT 1 FROM uv_befristung b WHERE b.gruppe = ? AND b.pcode = ?)"),
                   {k[0], k[1], k[0], k[1]}, 1)
                .empty())
            continue;
        const QString bis = f.value(QStringLiteral("bis")).toString(), grund = f.value(QStringLiteral("grund")).toString();
        execute(QStringLiteral("INSERT INTO uv_befristung (gruppe, pcode, bis, grund, firma, wer, wann) "
                               "VALUES (?, ?, ?, ?, ?, ?, %1)")
                    .arg(Schema::zeitSql(m_db)),
                {k[0], k[1], bis, grund, m_anmeldung ? m_anmeldung->firma : QString(),
                 m_anmeldung ? m_anmeldung->code : QString()});
        protokollieren(QStringLiteral("befristen"), z[0], QString(), befristungsfelder(bis, grund), nr);
    }
}

QString SqlCacheFactory::befristen(const QString& gruppe, const QString& code, const QString& bis,
                                   const QString& grund) {
    if (!m_befristungen)
        raise(Fehlernummer::SchemaVeraltet,
              QStringLiteral("<SCHEMA> Die Datenbank kennt noch keine Befristungen; ein Verwalter der Datenbank "
                             "bringt sie mit \"korval-db upgrade\" auf den Stand."));
    if (!bis.isEmpty() && QDate::fromString(bis, Qt::ISODate).toString(Qt::ISODate) != bis)
        raise(Fehlernummer::UngueltigerWert, QStringLiteral("<BEFRISTUNG> \"%1\" ist kein Datum").arg(bis));
    if (mitFunktionen()) return befehlAufrufen(QStringLiteral("uv_befristen"), {rechner(), gruppe, code, bis, grund});
    berechtigungPruefen();
    Guard g(*this);
    if (!sperren(*findClass(QStringLiteral("UserVerwaltung.Gruppen")), {gruppe}, false))
        raise(Fehlernummer::UngueltigerWert, QStringLiteral("<BEFRISTUNG> die Gruppe %1 besteht nicht").arg(gruppe));
    if (!bis.isEmpty() &&
        select(QStringLiteral("SELECT 1 FROM uv_gruppen_pcode WHERE gruppe = ? AND pcode = ?"), {gruppe, code}, 1).empty())
        raise(Fehlernummer::UngueltigerWert,
              QStringLiteral("<BEFRISTUNG> %1 ist kein Mitglied der Gruppe %2").arg(code, gruppe));
    const QString sql = QStringLiteral("SELECT bis, grund FROM uv_befristung WHERE gruppe = ? AND pcode = ?");
    const auto lesen = [&] {
        const auto r = select(sql, {gruppe, code}, 2);
        return r.empty() ? QString() : befristungsfelder(r.front()[0], r.front()[1]);
    };
    const QString vorher = lesen();
    if (bis.isEmpty()) {
        execute(QStringLiteral("DELETE FROM uv_befristung WHERE gruppe = ? AND pcode = ?"), {gruppe, code});
    } else {
        execute(QStringLiteral("INSERT INTO uv_befristung (gruppe, pcode, bis, grund, firma, wer, wann) "
                               "VALUES (?, ?, ?, ?, ?, ?, %1) ON CONFLICT (gruppe, pcode) DO UPDATE SET "
                               "bis = excluded.bis, grund = excluded.grund, firma = excluded.firma, "
                               "wer = excluded.wer, wann = excluded.wann")
                    .arg(Schema::zeitSql(m_db)),
                {gruppe, code, bis, grund, m_anmeldung->firma, m_anmeldung->code});
    }
    const QString nachher = lesen();
    if (nachher != vorher)
        protokollieren(QStringLiteral("befristen"), QStringLiteral("Befristung %1||%2").arg(gruppe, code), vorher,
                       nachher);
    g.commit();
    return nachher != vorher ? QStringLiteral("1") : QStringLiteral("0");
}

QString SqlCacheFactory::ablauf(const QString& heute) {
    if (QDate::fromString(heute, Qt::ISODate).toString(Qt::ISODate) != heute)
        raise(Fehlernummer::UngueltigerWert, QStringLiteral("<BEFRISTUNG> \"%1\" ist kein Datum").arg(heute));
    if (!m_befristungen) return QStringLiteral("[]");
    if (mitFunktionen()) return befehlAufrufen(QStringLiteral("uv_ablauf"), {rechner(), heute});
    berechtigungPruefen();
    Guard g(*this);
    // By group, in the order every command locks groups.
    std::map<QString, std::vector<QStringList>> faellig;
    // A date left without its membership (written by another program) goes;
    // one that is not a date (YYYY-MM-DD) is never due.
    befristungenBereinigen();
    for (const QStringList& r :
         select(QStringLiteral("SELECT gruppe, pcode, bis, grund FROM uv_befristung WHERE bis < ? ORDER BY gruppe, pcode"),
                {heute}, 4))
        if (QDate::fromString(r[2], Qt::ISODate).isValid() && r[2].size() == 10) faellig[r[0]].push_back(r);
    const ClassDef& gruppen = *findClass(QStringLiteral("UserVerwaltung.Gruppen"));
    QJsonArray erledigt;
    for (const auto& [gruppe, zeilen] : faellig) {
        sperren(gruppen, {gruppe}, false);
        const std::vector<QString> vorher = loadList(gruppen, {gruppe})->Werte();
        QJsonArray codes;
        for (const QStringList& z : zeilen)
            codes.append(z[1]);
        const QString liste = QString::fromUtf8(QJsonDocument(codes).toJson(QJsonDocument::Compact));
        execute(QStringLiteral("DELETE FROM uv_gruppen_pcode WHERE gruppe = ? AND pcode IN (%1)")
                    .arg(Schema::jsonWerteSql(m_db)),
                {gruppe, liste});
        execute(QStringLiteral("DELETE FROM uv_befristung WHERE gruppe = ? AND pcode IN (%1)").arg(Schema::jsonWerteSql(m_db)),
                {gruppe, liste});
        const qint64 nr = protokollieren(QStringLiteral("abgelaufen"), QStringLiteral("Gruppe ") + gruppe,
                                         Protokoll::Json(vorher), Protokoll::Json(loadList(gruppen, {gruppe})->Werte()));
        for (const QStringList& z : zeilen) {
            protokollieren(QStringLiteral("abgelaufen"), QStringLiteral("Befristung %1||%2").arg(gruppe, z[1]),
                           befristungsfelder(z[2], z[3]), QString(), nr);
            erledigt.append(QJsonArray{z[0], z[1], z[2], z[3]});
        }
    }
    g.commit();
    return QString::fromUtf8(QJsonDocument(erledigt).toJson(QJsonDocument::Compact));
}
