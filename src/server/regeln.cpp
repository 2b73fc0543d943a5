// Rules of incompatible rights on the in-process path (SQLite, and a
// PostgreSQL database without this program's functions): the same checks the
// server's functions make. A change that grants is compared before and
// after: a violation it adds that has no exception refuses the change, or
// with the transaction's reason becomes an exception, logged with the change.

#include "klassen.h"
#include "protokoll.h"
#include "schema.h"
#include "sqlfactory.h"

#include <QCryptographicHash>
#include <QDate>
#include <QJsonObject>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <map>
#include <set>

namespace {
[[noreturn]] void raise(int number, const QString& text) {
    throw CacheFehler(number, text);
}

QString Json(const QStringList& l) {
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(l)).toJson(QJsonDocument::Compact));
}

struct Seiten {
    QStringList seite1, seite2;
};

// The rule's fields as the log shows them, as the server builds them.
QString Regelfelder(const QStringList& r) {
    auto text = [](const QString& t) {
        const QByteArray a = QJsonDocument(QJsonArray{t}).toJson(QJsonDocument::Compact);
        return QString::fromUtf8(a.mid(1, a.size() - 2));
    };
    return QStringLiteral("{\"beschreibung\":%1,\"seite1\":%2,\"seite2\":%3}")
        .arg(text(r[1]), Json(r.mid(2, 3)), Json(r.mid(5, 3)));
}
} // namespace

SqlCacheFactory::Regelpruefung SqlCacheFactory::regelnVorher(bool gruppe, const QStringList& key,
                                                           const std::vector<QString>& vorher,
                                                           const std::vector<QString>& liste) {
    const std::set<QString> alt(vorher.begin(), vorher.end());
    QStringList hinzu;
    for (const QString& w : liste)
        if (!alt.count(w) && !hinzu.contains(w)) hinzu.append(w);
    if (hinzu.isEmpty()) return {};
    return gruppe ? regelnVorher({key[0]}, {}, hinzu, {}) : regelnVorher({}, {key}, {}, hinzu);
}

SqlCacheFactory::Regelpruefung SqlCacheFactory::regelnVorher(const QStringList& gruppen,
                                                           const std::vector<QStringList>& stufen,
                                                           const QStringList& codes, const QStringList& neueGruppen) {
    Regelpruefung p;
    if (!m_befristungen || (gruppen.isEmpty() && stufen.empty())) return p;
    if (select(QStringLiteral("SELECT 1 FROM uv_regel LIMIT 1"), {}, 1).empty()) return p;
    // A rule stored while this grants waits for it, or is seen by it.
    if (isPostgres()) select(QStringLiteral("SELECT 1 FROM (SELECT pg_advisory_xact_lock_shared(4712, 0)) x"), {}, 1);
    const QString seite = QStringLiteral("(SELECT 1 FROM uv_programm_gruppe pg WHERE pg.programmname = r.p%1 AND "
                                         "(r.s%1 = '*' OR pg.subprogramm = r.s%1) AND (r.l%1 = '*' OR "
                                         "pg.berechtigungsstufe = r.l%1) AND pg.gruppe IN (%2))");
    const QString werte = Schema::jsonWerteSql(m_db);
    std::set<QString> regeln;
    if (!gruppen.isEmpty())
        for (const QStringList& r : select(QStringLiteral("SELECT r.name FROM uv_regel r WHERE EXISTS %1 OR EXISTS %2")
                                               .arg(seite.arg(1).arg(werte), seite.arg(2).arg(werte)),
                                           {Json(gruppen), Json(gruppen)}, 1))
            regeln.insert(r.front());
    for (const QStringList& k : stufen)
        for (const QStringList& r :
             select(QStringLiteral("SELECT name FROM uv_regel WHERE (p1 = ? AND s1 IN ('*', ?) AND l1 IN ('*', ?)) "
                                   "OR (p2 = ? AND s2 IN ('*', ?) AND l2 IN ('*', ?))"),
                    {k[0], k[1], k[2], k[0], k[1], k[2]}, 1))
            regeln.insert(r.front());
    if (regeln.empty()) return p;
    for (const QString& r : regeln)
        p.regeln.append(r);
    p.codes = codes;
    if (!neueGruppen.isEmpty())
        for (const QStringList& r : select(QStringLiteral("SELECT DISTINCT pcode FROM uv_gruppen_pcode WHERE gruppe IN (%1)")
                                               .arg(werte),
                                           {Json(neueGruppen)}, 1))
            if (!p.codes.contains(r.front())) p.codes.append(r.front());
    for (const auto& [schluessel, seiten] : verstoesseVon(p.codes, p.regeln))
        p.vorher.append(schluessel.first + QLatin1Char('\n') + schluessel.second);
    return p;
}

std::map<std::pair<QString, QString>, SqlCacheFactory::VerstossSeiten>
SqlCacheFactory::verstoesseVon(const QStringList& codes, const QStringList& regeln) {
    std::map<std::pair<QString, QString>, VerstossSeiten> v;
    if (codes.isEmpty() || regeln.isEmpty()) return v;
    const QString werte = Schema::jsonWerteSql(m_db);
    // The rules' list once per side, then the codes.
    const auto zeilen = select(
        QStringLiteral("WITH s AS (%1), mg AS (SELECT DISTINCT pcode, gruppe FROM uv_gruppen_pcode WHERE pcode IN (%2)) "
                       "SELECT mg.pcode, s.regel, s.seite, s.gruppe FROM s JOIN mg ON mg.gruppe = s.gruppe "
                       "ORDER BY 1, 2, 3, 4")
            .arg(RegelSeitenSql(QStringLiteral("(SELECT * FROM uv_regel WHERE name IN (%1))").arg(werte)), werte),
        {Json(regeln), Json(regeln), Json(codes)}, 4);
    for (const QStringList& z : zeilen) {
        VerstossSeiten& s = v[{z[0], z[1]}];
        (z[2] == QLatin1String("1") ? s.seite1 : s.seite2).append(z[3]);
    }
    for (auto it = v.begin(); it != v.end();)
        it = it->second.seite1.isEmpty() || it->second.seite2.isEmpty() ? v.erase(it) : std::next(it);
    return v;
}

void SqlCacheFactory::regelnNachher(const Regelpruefung& p, qint64 nr) {
    if (p.regeln.isEmpty() || p.codes.isEmpty()) return;
    QJsonArray neu;
    std::vector<std::pair<std::pair<QString, QString>, VerstossSeiten>> liste;
    // The exceptions of these employees, in one query rather than one per violation.
    std::set<std::pair<QString, QString>> ausnahmen;
    for (const QStringList& r : select(QStringLiteral("SELECT pcode, regel FROM uv_ausnahme WHERE pcode IN (%1)")
                                           .arg(Schema::jsonWerteSql(m_db)),
                                       {Json(p.codes)}, 2))
        ausnahmen.insert({r[0], r[1]});
    for (const auto& [schluessel, seiten] : verstoesseVon(p.codes, p.regeln)) {
        if (p.vorher.contains(schluessel.first + QLatin1Char('\n') + schluessel.second)) continue;
        if (ausnahmen.count(schluessel)) continue;
        neu.append(QJsonArray{schluessel.first, schluessel.second, QJsonArray::fromStringList(seiten.seite1),
                              QJsonArray::fromStringList(seiten.seite2)});
        liste.emplace_back(schluessel, seiten);
    }
    if (liste.empty()) return;
    if (m_ausnahme.isEmpty())
        raise(Fehlernummer::Unvereinbar,
              QStringLiteral("<UNVEREINBAR> ") + QString::fromUtf8(QJsonDocument(neu).toJson(QJsonDocument::Compact)));
    for (const auto& [schluessel, seiten] : liste) {
        execute(QStringLiteral("INSERT INTO uv_ausnahme (pcode, regel, grund, firma, wer, wann, nr) VALUES "
                               "(?, ?, ?, ?, ?, %1, ?) ON CONFLICT (pcode, regel) DO UPDATE SET grund = excluded.grund, "
                               "firma = excluded.firma, wer = excluded.wer, wann = excluded.wann, nr = excluded.nr")
                    .arg(Schema::zeitSql(m_db)),
                {schluessel.first, schluessel.second, m_ausnahme, m_anmeldung ? m_anmeldung->firma : QString(),
                 m_anmeldung ? m_anmeldung->code : QString(), nr});
        const QByteArray grund = QJsonDocument(QJsonArray{m_ausnahme}).toJson(QJsonDocument::Compact);
        protokollieren(QStringLiteral("Ausnahme"), QStringLiteral("Ausnahme %1||%2").arg(schluessel.first, schluessel.second),
                       QString(),
                       QStringLiteral("{\"grund\":%1,\"seite1\":%2,\"seite2\":%3}")
                           .arg(QString::fromUtf8(grund.mid(1, grund.size() - 2)), Json(seiten.seite1),
                                Json(seiten.seite2)),
                       nr);
    }
}

QString SqlCacheFactory::regelSpeichern(const QString& eingabe, const QString& beschreibung, const QStringList& teile,
                                        bool neu) {
    // Blanks around a side's parts would make it match nothing.
    QStringList seiten;
    for (const QString& t : teile)
        seiten.append(t.trimmed());
    // A new name without the blanks around it; an existing one as it is stored.
    const QString name = neu ? eingabe.trimmed() : eingabe;
    if (!m_befristungen)
        raise(Fehlernummer::SchemaVeraltet,
              QStringLiteral("<SCHEMA> Die Datenbank kennt noch keine Regeln; ein Verwalter der Datenbank bringt sie "
                             "mit \"korval-db upgrade\" auf den Stand."));
    if (mitFunktionen()) {
        const QString s = QString::fromUtf8(
            QJsonDocument(QJsonArray{QJsonArray::fromStringList(seiten.mid(0, 3)), QJsonArray::fromStringList(seiten.mid(3, 3))})
                .toJson(QJsonDocument::Compact));
        return befehlAufrufen(QStringLiteral("uv_regel_speichern"), {rechner(), name, beschreibung, s, neu});
    }
    berechtigungPruefen();
    if (name.isEmpty() || seiten.size() != 6 || seiten.contains(QString()) || seiten[0] == QLatin1String("*") ||
        seiten[3] == QLatin1String("*") ||
        std::any_of(seiten.begin(), seiten.end(), [](const QString& t) { return t.contains(QLatin1String("||")); }))
        raise(Fehlernummer::UngueltigerWert,
              QStringLiteral("<REGEL> Name, Programm, Unterprogramm und Stufe beider Seiten sind nötig "
                             "(Unterprogramm und Stufe dürfen \"*\" sein)"));
    if (name.contains(QLatin1String("||")) || name.startsWith(QLatin1Char('|')) || name.endsWith(QLatin1Char('|')))
        raise(Fehlernummer::UngueltigerWert, QStringLiteral("<REGEL> Der Name einer Regel darf \"||\" nicht enthalten "
                                                            "und nicht mit \"|\" beginnen oder enden"));
    // Sides that share a level ("*" takes in every other): whoever holds it
    // would break the rule alone.
    const auto deckt = [&](int i) {
        return seiten[i] == seiten[i + 3] || seiten[i] == QLatin1String("*") || seiten[i + 3] == QLatin1String("*");
    };
    if (seiten[0] == seiten[3] && deckt(1) && deckt(2))
        raise(Fehlernummer::UngueltigerWert, QStringLiteral("<REGEL> Beide Seiten umfassen dieselbe Stufe: wer sie hat, "
                                                            "verstieße schon allein gegen die Regel"));
    Guard g(*this);
    if (isPostgres()) select(QStringLiteral("SELECT 1 FROM (SELECT pg_advisory_xact_lock(4712, 0)) x"), {}, 1);
    // Names that differ only in case would look like one rule in every list.
    if (const QString gleich = neu ? GleicherName(name) : QString(); !gleich.isEmpty())
        raise(Fehlernummer::KonfliktVorhanden, QStringLiteral("<KONFLIKT> Regel %1 besteht bereits").arg(gleich));
    const QString sql = QStringLiteral("SELECT name, beschreibung, p1, s1, l1, p2, s2, l2 FROM uv_regel WHERE name = ?");
    const auto lesen = [&] {
        const auto r = select(sql, {name}, 8);
        return r.empty() ? QString() : Regelfelder(r.front());
    };
    const QString vorher = lesen();
    if (neu && !vorher.isEmpty())
        raise(Fehlernummer::KonfliktVorhanden, QStringLiteral("<KONFLIKT> Regel %1 besteht bereits").arg(name));
    if (!neu && vorher.isEmpty())
        raise(Fehlernummer::KonfliktGeloescht, QStringLiteral("<KONFLIKT> Regel %1 wurde inzwischen gelöscht").arg(name));
    execute(QStringLiteral("INSERT INTO uv_regel (name, beschreibung, p1, s1, l1, p2, s2, l2) VALUES (?, ?, ?, ?, ?, ?, ?, ?) "
                           "ON CONFLICT (name) DO UPDATE SET beschreibung = excluded.beschreibung, p1 = excluded.p1, "
                           "s1 = excluded.s1, l1 = excluded.l1, p2 = excluded.p2, s2 = excluded.s2, l2 = excluded.l2"),
            {name, beschreibung, seiten[0], seiten[1], seiten[2], seiten[3], seiten[4], seiten[5]});
    const QString nachher = lesen();
    if (nachher != vorher)
        protokollieren(neu ? QStringLiteral("anlegen") : QStringLiteral("speichern"), QStringLiteral("Regel ") + name,
                       vorher, nachher);
    g.commit();
    return nachher != vorher ? QStringLiteral("1") : QStringLiteral("0");
}

QString SqlCacheFactory::GleicherName(const QString& name) {
    QString gleich;
    for (const QStringList& r : select(QStringLiteral("SELECT name FROM uv_regel"), {}, 1)) {
        if (r.front() == name) return name;
        if (gleich.isEmpty() && r.front().compare(name, Qt::CaseInsensitive) == 0) gleich = r.front();
    }
    return gleich;
}

// The rule `eingabe`, or the one rule whose name differs from it only in case or blanks.
QString SqlCacheFactory::regelLoeschen(const QString& eingabe) {
    if (!m_befristungen) return QStringLiteral("0");
    if (mitFunktionen()) return befehlAufrufen(QStringLiteral("uv_regel_loeschen"), {rechner(), eingabe});
    berechtigungPruefen();
    Guard g(*this);
    if (isPostgres()) select(QStringLiteral("SELECT 1 FROM (SELECT pg_advisory_xact_lock(4712, 0)) x"), {}, 1);
    QString name = eingabe;
    if (select(QStringLiteral("SELECT 1 FROM uv_regel WHERE name = ?"), {eingabe}, 1).empty()) {
        QStringList aehnlich;
        for (const QStringList& r : select(QStringLiteral("SELECT name FROM uv_regel"), {}, 1))
            if (r.front().trimmed().compare(eingabe.trimmed(), Qt::CaseInsensitive) == 0) aehnlich.append(r.front());
        if (aehnlich.size() == 1) name = aehnlich.front();
    }
    const auto r = select(QStringLiteral("SELECT name, beschreibung, p1, s1, l1, p2, s2, l2 FROM uv_regel WHERE name = ?"),
                          {name}, 8);
    if (r.empty()) {
        g.commit();
        return QStringLiteral("0");
    }
    execute(QStringLiteral("DELETE FROM uv_regel WHERE name = ?"), {name});
    protokollieren(QStringLiteral("löschen"), QStringLiteral("Regel ") + name, Regelfelder(r.front()), QString());
    g.commit();
    return QStringLiteral("1");
}

QString SqlCacheFactory::undoFeld(qint64 nr, const QStringList& e, const QString& erwartet) {
    const bool befristung = e[1].startsWith(QLatin1String("Befristung "));
    const QStringList k = befristung ? e[1].mid(11).split(QStringLiteral("||")) : QStringList{e[1].mid(6)};
    if (befristung && k.size() != 2)
        raise(Fehlernummer::UngueltigerWert, QStringLiteral("<PROTOKOLL> %1: kein Eintrag einer Befristung").arg(e[1]));
    const bool bestaetigt = !erwartet.isEmpty();
    if (bestaetigt) berechtigungPruefen();
    Guard g(*this);
    QString jetzt;
    if (befristung) {
        if (bestaetigt) sperren(*findClass(QStringLiteral("UserVerwaltung.Gruppen")), {k[0]}, false);
        const auto r = select(QStringLiteral("SELECT bis, grund FROM uv_befristung WHERE gruppe = ? AND pcode = ?"),
                              {k[0], k[1]}, 2);
        if (!r.empty()) jetzt = befristungsfelder(r.front()[0], r.front()[1]);
    } else {
        if (bestaetigt && isPostgres())
            select(QStringLiteral("SELECT 1 FROM (SELECT pg_advisory_xact_lock(4712, 0)) x"), {}, 1);
        const auto r = select(QStringLiteral("SELECT name, beschreibung, p1, s1, l1, p2, s2, l2 FROM uv_regel WHERE name = ?"),
                              {k[0]}, 8);
        if (!r.empty()) jetzt = Regelfelder(r.front());
    }
    const QJsonObject ziel = QJsonDocument::fromJson(e[2].toUtf8()).object();
    const bool leer = e[2].isEmpty();
    const QString bis = ziel.value(QStringLiteral("bis")).toString(), grund = ziel.value(QStringLiteral("grund")).toString();
    const QString beschreibung =
        befristung && leer ? QStringLiteral("Befristung wird aufgehoben")
        : befristung
            ? QStringLiteral("wieder ") + befristungText(bis, grund)
        : leer           ? QStringLiteral("Regel wird gelöscht")
        : e[3].isEmpty() ? QStringLiteral("Regel wird wieder angelegt")
                         : QStringLiteral("Regel wird zurückgesetzt");
    QJsonArray plan;
    if (jetzt == e[2]) {
    } else if (jetzt != e[3]) {
        plan.append(QJsonObject{{QStringLiteral("objekt"), e[1]}, {QStringLiteral("bleibt"), true},
                                {QStringLiteral("text"), QStringLiteral("wurde inzwischen geändert; die spätere Änderung bleibt")}});
    } else if (befristung && !leer &&
               select(QStringLiteral("SELECT 1 FROM uv_gruppen_pcode WHERE gruppe = ? AND pcode = ?"), {k[0], k[1]}, 1)
                   .empty()) {
        plan.append(QJsonObject{{QStringLiteral("objekt"), e[1]}, {QStringLiteral("bleibt"), true},
                                {QStringLiteral("text"), QStringLiteral("ist nicht mehr Mitglied der Gruppe; bleibt ohne Befristung")}});
    } else if (const QString gleich = !befristung && !leer && jetzt.isEmpty() ? GleicherName(k[0]) : QString();
               !gleich.isEmpty()) {
        // Two names that differ only in case would look like one rule.
        plan.append(QJsonObject{{QStringLiteral("objekt"), e[1]}, {QStringLiteral("bleibt"), true},
                                {QStringLiteral("text"),
                                 QStringLiteral("eine Regel %1 ist inzwischen angelegt; bleibt gelöscht").arg(gleich)}});
    } else {
        plan.append(QJsonObject{{QStringLiteral("objekt"), e[1]}, {QStringLiteral("setzen"), e[2]},
                                {QStringLiteral("text"), beschreibung}});
    }
    const QString marke = QString::fromLatin1(
        QCryptographicHash::hash(QJsonDocument(plan).toJson(QJsonDocument::Compact), QCryptographicHash::Sha256).toHex());
    bool gespeichert = false;
    if (bestaetigt && erwartet == marke && !plan.isEmpty() && plan.at(0).toObject().contains(QStringLiteral("setzen"))) {
        if (befristung && leer) {
            execute(QStringLiteral("DELETE FROM uv_befristung WHERE gruppe = ? AND pcode = ?"), {k[0], k[1]});
        } else if (befristung) {
            execute(QStringLiteral("INSERT INTO uv_befristung (gruppe, pcode, bis, grund, firma, wer, wann) VALUES "
                                   "(?, ?, ?, ?, ?, ?, %1) ON CONFLICT (gruppe, pcode) DO UPDATE SET bis = excluded.bis, "
                                   "grund = excluded.grund, firma = excluded.firma, wer = excluded.wer, wann = excluded.wann")
                        .arg(Schema::zeitSql(m_db)),
                    {k[0], k[1], bis, grund, m_anmeldung->firma, m_anmeldung->code});
        } else if (leer) {
            execute(QStringLiteral("DELETE FROM uv_regel WHERE name = ?"), {k[0]});
        } else {
            auto seite = [&](const char* n, int i) {
                return ziel.value(QString::fromLatin1(n)).toArray().at(i).toString();
            };
            execute(QStringLiteral("INSERT INTO uv_regel (name, beschreibung, p1, s1, l1, p2, s2, l2) VALUES "
                                   "(?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (name) DO UPDATE SET beschreibung = "
                                   "excluded.beschreibung, p1 = excluded.p1, s1 = excluded.s1, l1 = excluded.l1, "
                                   "p2 = excluded.p2, s2 = excluded.s2, l2 = excluded.l2"),
                    {k[0], ziel.value(QStringLiteral("beschreibung")).toString(), seite("seite1", 0), seite("seite1", 1),
                     seite("seite1", 2), seite("seite2", 0), seite("seite2", 1), seite("seite2", 2)});
        }
        protokollieren(QStringLiteral("rückgängig"), e[1], jetzt, e[2], nr);
        gespeichert = true;
    }
    g.commit();
    return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("plan"), plan}, {QStringLiteral("marke"), marke},
                                                       {QStringLiteral("gespeichert"), gespeichert}})
                                 .toJson(QJsonDocument::Compact));
}
