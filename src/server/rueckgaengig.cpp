// Undo from the change log: an entry's own difference is taken back, later
// changes stay. The plan is computed and applied under the same locks as a
// save; the caller confirms the plan it was shown, so a change in between
// makes the plan be shown again. The undo is an entry of its own.

#include "protokoll.h"
#include "schema.h"
#include "sqlfactory.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

namespace {

[[noreturn]] void raise(int number, const QString& text) {
    throw CacheFehler(number, text);
}

// What one change did to one record: values it added and removed (with how
// many the record held after it), and whether it created or deleted it.
struct Delta {
    bool angelegt = false, geloescht = false;
    std::map<QString, int> plus, minus; // value → times
    std::map<QString, int> danach;      // value → count after the change (for values it removed)
    QStringList reihenfolge;             // the removed values in their order, for a re-creation
};

std::map<QString, int> Zaehlen(const std::vector<QString>& werte) {
    std::map<QString, int> n;
    for (const QString& w : werte)
        ++n[w];
    return n;
}

// A list state of the log: "" is "no record".
std::optional<std::vector<QString>> Zustand(const QString& json) {
    if (json.isEmpty()) return std::nullopt;
    return Protokoll::Werte(json);
}

Delta AusZustaenden(const std::optional<std::vector<QString>>& vorher,
                    const std::optional<std::vector<QString>>& nachher) {
    Delta d;
    d.angelegt = !vorher && nachher;
    d.geloescht = vorher && !nachher;
    const auto v = Zaehlen(vorher.value_or(std::vector<QString>{}));
    const auto n = Zaehlen(nachher.value_or(std::vector<QString>{}));
    for (const auto& [w, k] : n)
        if (k > (v.count(w) ? v.at(w) : 0)) d.plus[w] = k - (v.count(w) ? v.at(w) : 0);
    for (const auto& [w, k] : v)
        if (k > (n.count(w) ? n.at(w) : 0)) {
            d.minus[w] = k - (n.count(w) ? n.at(w) : 0);
            d.danach[w] = n.count(w) ? n.at(w) : 0;
        }
    for (const QString& w : vorher.value_or(std::vector<QString>{}))
        if (d.minus.count(w) && !d.reihenfolge.contains(w)) d.reihenfolge.append(w);
    return d;
}

QJsonArray Array(const std::vector<QString>& werte) {
    QJsonArray a;
    for (const QString& w : werte)
        a.append(w);
    return a;
}

// The deltas of one log entry, by record.
void Entnehmen(std::map<QString, Delta>& deltas, const QString& befehl, const QString& objekt, const QString& vorher,
               const QString& nachher) {
    if (befehl == QLatin1String("aus Stufen entfernen")) {
        const QString gruppe = objekt.mid(7);
        for (const QString& stufe : Protokoll::Werte(vorher)) {
            Delta& d = deltas[QStringLiteral("Stufe ") + stufe];
            ++d.minus[gruppe];
            d.danach[gruppe] = 0;
            if (!d.reihenfolge.contains(gruppe)) d.reihenfolge.append(gruppe);
        }
        return;
    }
    if (befehl == QLatin1String("berechtigen")) {
        // A copied group's grants: the levels that gained the group.
        const QString gruppe = objekt.mid(7);
        for (const QString& stufe : Protokoll::Werte(nachher)) {
            Delta& d = deltas[QStringLiteral("Stufe ") + stufe];
            ++d.plus[gruppe];
        }
        return;
    }
    if (befehl == QStringLiteral("rückgängig")) {
        // An undo: the plan it applied, step by step.
        for (const QJsonValue& v : QJsonDocument::fromJson(nachher.toUtf8()).array()) {
            const QJsonObject s = v.toObject();
            Delta& d = deltas[s.value(QStringLiteral("objekt")).toString()];
            d.angelegt = s.value(QStringLiteral("anlegen")).toBool();
            d.geloescht = s.value(QStringLiteral("loeschen")).toBool();
            for (const QJsonValue& w : s.value(QStringLiteral("hinzu")).toArray())
                ++d.plus[w.toString()];
            for (const QJsonValue& w : s.value(QStringLiteral("weg")).toArray()) {
                ++d.minus[w.toString()];
                d.danach[w.toString()] = 0;
                if (!d.reihenfolge.contains(w.toString())) d.reihenfolge.append(w.toString());
            }
        }
        return;
    }
    if (objekt.startsWith(QLatin1String("Programm ")) || objekt.startsWith(QLatin1String("Unterprogramm "))) {
        // A deleted program: every level with the groups it held.
        const QJsonObject stufen = QJsonDocument::fromJson(vorher.toUtf8()).object();
        for (auto it = stufen.begin(); it != stufen.end(); ++it) {
            std::vector<QString> gruppen;
            for (const QJsonValue& g : it.value().toArray())
                gruppen.push_back(g.toString());
            deltas[QStringLiteral("Stufe ") + it.key()] = AusZustaenden(gruppen, std::nullopt);
        }
        return;
    }
    if (!objekt.startsWith(QLatin1String("Gruppe ")) && !objekt.startsWith(QLatin1String("Stufe ")))
        raise(Fehlernummer::UngueltigerWert,
              QStringLiteral("<PROTOKOLL> %1: diese Änderung kann nicht rückgängig gemacht werden").arg(objekt));
    deltas[objekt] = AusZustaenden(Zustand(vorher), Zustand(nachher));
}

} // namespace

QString SqlCacheFactory::undo(qint64 nr, const QString& erwartet) {
    if (mitFunktionen()) return befehlAufrufen(QStringLiteral("uv_rueckgaengig"), {rechner(), nr, erwartet});
    const auto eintrag = select(
        QStringLiteral("SELECT befehl, objekt, vorher, nachher FROM uv_protokoll WHERE nr = ?"), {nr}, 4);
    if (eintrag.empty())
        raise(Fehlernummer::UngueltigerWert, QStringLiteral("<PROTOKOLL> kein Eintrag mit der Nummer %1").arg(nr));
    const QStringList& e = eintrag.front();
    // An end date or a rule is a record of fields, not a list.
    if (e[0] != QLatin1String("abgelaufen") && e[0] != QLatin1String("mit entfernt") &&
        (e[1].startsWith(QLatin1String("Befristung ")) || e[1].startsWith(QLatin1String("Regel "))))
        return undoFeld(nr, e, erwartet);
    std::map<QString, Delta> deltas;
    Entnehmen(deltas, e[0], e[1], e[2], e[3]);
    // A group's delete takes its withdrawal from the levels along, a copy its grants.
    for (const QStringList& z :
         select(QStringLiteral("SELECT befehl, objekt, vorher, nachher FROM uv_protokoll WHERE bezug = ? AND "
                               "befehl IN ('aus Stufen entfernen', 'berechtigen') ORDER BY nr"),
                {nr}, 4))
        Entnehmen(deltas, z[0], z[1], z[2], z[3]);

    Guard g(*this);
    // Undoing a group's creation deletes it: like a group delete it leaves
    // every level that granted it since. Locked first, so no grant slips in.
    for (auto& [o, d] : std::map<QString, Delta>(deltas)) {
        if (!d.angelegt || !o.startsWith(QLatin1String("Gruppe "))) continue;
        const QString gruppe = o.mid(7);
        sperren(Klasse(o), {gruppe}, true);
        for (const QStringList& r :
             select(QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe, COUNT(*) FROM "
                                   "uv_programm_gruppe WHERE gruppe = ? GROUP BY programmname, subprogramm, "
                                   "berechtigungsstufe"),
                    {gruppe}, 4))
            deltas[QStringLiteral("Stufe ") + r.mid(0, 3).join(QStringLiteral("||"))].plus[gruppe] += r[3].toInt();
    }
    // Groups before levels, each in name order: the order every command locks in.
    std::vector<QString> objekte;
    for (const auto& [o, d] : deltas)
        if (o.startsWith(QLatin1String("Gruppe "))) objekte.push_back(o);
    for (const auto& [o, d] : deltas)
        if (!o.startsWith(QLatin1String("Gruppe "))) objekte.push_back(o);
    std::map<QString, std::optional<std::vector<QString>>> jetzt;
    // Of many levels only the values the change touched are read: a group's
    // delete names thousands of levels, each with its other groups.
    QStringList werte;
    bool ganz = true;
    int stufenAnzahl = 0;
    for (const auto& [o, d] : deltas) {
        if (o.startsWith(QLatin1String("Gruppe "))) continue;
        ++stufenAnzahl;
        ganz = ganz && !d.angelegt;
        for (const auto& [w, n] : d.plus)
            werte.append(w);
        for (const auto& [w, n] : d.minus)
            werte.append(w);
    }
    werte.removeDuplicates();
    Lesen(objekte, jetzt, stufenAnzahl > 50 && ganz ? &werte : nullptr);

    QJsonArray plan;
    for (const QString& o : objekte) {
        const Delta& d = deltas.at(o);
        const auto& ist = jetzt.at(o);
        QJsonObject s;
        s.insert(QStringLiteral("objekt"), o);
        std::vector<QString> hinzu, weg;
        if (d.angelegt) {
            // Undoing a creation deletes the record, whatever it holds now.
            if (!ist) continue;
            s.insert(QStringLiteral("loeschen"), true);
            weg = *ist;
            // What it gained since it was created, for the preview.
            std::map<QString, int> uebrig = d.plus;
            QJsonArray seither;
            for (const QString& w : *ist)
                if (uebrig[w] > 0)
                    --uebrig[w];
                else
                    seither.append(w);
            s.insert(QStringLiteral("seither"), seither);
        } else {
            // Deleted since (by another workstation, say): it stays deleted;
            // only a delete that this entry made is taken back.
            if (!ist && !d.geloescht) {
                s.insert(QStringLiteral("fehlt"), true);
                plan.append(s);
                continue;
            }
            const auto zahl = Zaehlen(ist.value_or(std::vector<QString>{}));
            auto anzahl = [&](const QString& w) { return zahl.count(w) ? zahl.at(w) : 0; };
            // Values the change removed come back, as far as they are not back already.
            for (const QString& w : d.reihenfolge) {
                const int n = std::max(0, d.minus.at(w) - std::max(0, anzahl(w) - d.danach.at(w)));
                for (int i = 0; i < n; ++i)
                    hinzu.push_back(w);
            }
            // Values it added go, as far as they are still there.
            for (const auto& [w, n] : d.plus)
                for (int i = 0; i < std::min(n, anzahl(w)); ++i)
                    weg.push_back(w);
            if (!ist && d.geloescht) s.insert(QStringLiteral("anlegen"), true);
            if (ist && d.geloescht && hinzu.empty()) continue;
        }
        if (hinzu.empty() && weg.empty() && !s.contains(QStringLiteral("anlegen")) &&
            !s.contains(QStringLiteral("loeschen")))
            continue;
        s.insert(QStringLiteral("hinzu"), Array(hinzu));
        s.insert(QStringLiteral("weg"), Array(weg));
        plan.append(s);
    }
    const QByteArray text = QJsonDocument(plan).toJson(QJsonDocument::Compact);
    const QString marke = QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
    QJsonObject antwort{{QStringLiteral("plan"), plan}, {QStringLiteral("marke"), marke},
                        {QStringLiteral("gespeichert"), false},
                        {QStringLiteral("befristungen"), befristungsHinweise(nr, plan)}};
    if (!erwartet.isEmpty() && erwartet == marke) {
        // What the undo gives back is checked against the rules like any grant.
        QStringList gruppen, codes, neueGruppen;
        std::vector<QStringList> stufen;
        for (const QJsonValue& v : plan) {
            const QJsonObject s = v.toObject();
            const QJsonArray hinzu = s.value(QStringLiteral("hinzu")).toArray();
            if (s.value(QStringLiteral("fehlt")).toBool() || hinzu.isEmpty()) continue;
            const QString o = s.value(QStringLiteral("objekt")).toString();
            const bool gruppe = o.startsWith(QLatin1String("Gruppe "));
            if (gruppe)
                gruppen.append(Schluessel(o).front());
            else
                stufen.push_back(Schluessel(o));
            for (const QJsonValue& w : hinzu)
                (gruppe ? codes : neueGruppen).append(w.toString());
        }
        const Regelpruefung regeln = regelnVorher(gruppen, stufen, codes, neueGruppen);
        Anwenden(plan);
        QJsonArray angewandt;
        for (const QJsonValue& v : plan)
            if (!v.toObject().value(QStringLiteral("fehlt")).toBool()) angewandt.append(v);
        qint64 rueckNr = 0;
        if (!angewandt.isEmpty()) {
            rueckNr = protokollieren(QStringLiteral("rückgängig"), e[1], QString(),
                                     QString::fromUtf8(QJsonDocument(angewandt).toJson(QJsonDocument::Compact)), nr);
            // A member the undo took out takes its end date along; one it
            // gives back gets the date the change took with it.
            QStringList betroffen;
            for (const QJsonValue& v : angewandt)
                if (const QString o = v.toObject().value(QStringLiteral("objekt")).toString();
                    o.startsWith(QLatin1String("Gruppe ")))
                    betroffen.append(Schluessel(o).front());
            befristungenBereinigen(betroffen, rueckNr);
            befristungenZurueck(nr, rueckNr);
        }
        regelnNachher(regeln, rueckNr);
        antwort.insert(QStringLiteral("gespeichert"), true);
    }
    g.commit();
    return QString::fromUtf8(QJsonDocument(antwort).toJson(QJsonDocument::Compact));
}

void SqlCacheFactory::Lesen(const std::vector<QString>& objekte,
                            std::map<QString, std::optional<std::vector<QString>>>& jetzt, const QStringList* nurWerte) {
    // The records are read (and on PostgreSQL locked) set by set: a deleted
    // group may have held thousands of levels.
    QJsonArray gruppen, stufen;
    for (const QString& o : objekte) {
        const QStringList k = Schluessel(o);
        if (o.startsWith(QLatin1String("Gruppe ")))
            gruppen.append(k.front());
        else
            stufen.append(QJsonArray{k.value(0), k.value(1), k.value(2)});
        jetzt[o] = std::nullopt;
    }
    const QString sperre = isPostgres() ? QStringLiteral(" FOR UPDATE") : QString();
    if (!gruppen.isEmpty()) {
        const QString json = QString::fromUtf8(QJsonDocument(gruppen).toJson(QJsonDocument::Compact));
        if (isPostgres())
            for (const QJsonValue& v : gruppen)
                select(QStringLiteral("SELECT pg_catalog.pg_advisory_xact_lock(pg_catalog.hashtextextended(?, 0))"),
                       {QStringLiteral("uv_gruppen|") + v.toString()}, 1);
        for (const QStringList& r :
             select(QStringLiteral("SELECT gruppe FROM uv_gruppen WHERE gruppe IN (%1) ORDER BY gruppe%2")
                        .arg(Schema::jsonWerteSql(m_db), sperre),
                    {json}, 1))
            jetzt[QStringLiteral("Gruppe ") + r[0]] = std::vector<QString>{};
        for (const QStringList& r :
             select(QStringLiteral("SELECT gruppe, pcode FROM uv_gruppen_pcode WHERE gruppe IN (%1) ORDER BY gruppe, pos")
                        .arg(Schema::jsonWerteSql(m_db)),
                    {json}, 2))
            jetzt[QStringLiteral("Gruppe ") + r[0]]->push_back(r[1]);
    }
    if (!stufen.isEmpty()) {
        const QString json = QString::fromUtf8(QJsonDocument(stufen).toJson(QJsonDocument::Compact));
        const QString tripel = Schema::jsonTripelSql(m_db);
        if (isPostgres())
            for (const QJsonValue& v : stufen) {
                const QJsonArray t = v.toArray();
                if (objekte.size() < 50)
                    select(QStringLiteral("SELECT pg_catalog.pg_advisory_xact_lock(pg_catalog.hashtextextended(?, 0))"),
                           {QStringLiteral("uv_programm|") + t[0].toString() + QStringLiteral("||") +
                            t[1].toString() + QStringLiteral("||") + t[2].toString()},
                           1);
            }
        for (const QStringList& r :
             select(QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe FROM uv_programm WHERE "
                                   "(programmname, subprogramm, berechtigungsstufe) IN (%1) "
                                   "ORDER BY programmname, subprogramm, berechtigungsstufe%2")
                        .arg(tripel, sperre),
                    {json}, 3))
            jetzt[QStringLiteral("Stufe ") + r.join(QStringLiteral("||"))] = std::vector<QString>{};
        const auto inhalt =
            nurWerte ? select(QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe, gruppe FROM "
                                             "uv_programm_gruppe WHERE gruppe IN (%1)")
                                  .arg(Schema::jsonWerteSql(m_db)),
                              {Protokoll::Json(std::vector<QString>(nurWerte->begin(), nurWerte->end()))}, 4)
                     : select(QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe, gruppe FROM "
                                             "uv_programm_gruppe WHERE (programmname, subprogramm, berechtigungsstufe) "
                                             "IN (%1) ORDER BY programmname, subprogramm, berechtigungsstufe, pos")
                                  .arg(tripel),
                              {json}, 4);
        for (const QStringList& r : inhalt) {
            if (!jetzt.count(QStringLiteral("Stufe ") + r.mid(0, 3).join(QStringLiteral("||")))) continue;
            auto& l = jetzt[QStringLiteral("Stufe ") + r.mid(0, 3).join(QStringLiteral("||"))];
            if (l) l->push_back(r[3]);
        }
    }
}

void SqlCacheFactory::Anwenden(const QJsonArray& plan) {
    // Values to append, by record, after what each record holds.
    std::vector<std::pair<QString, std::vector<QString>>> anhaengen;
    for (const QJsonValue& v : plan) {
        const QJsonObject s = v.toObject();
        if (s.value(QStringLiteral("fehlt")).toBool()) continue;
        const QString o = s.value(QStringLiteral("objekt")).toString();
        const ClassDef& cls = Klasse(o);
        const QStringList key = Schluessel(o);
        const QVariantList kb = keyBinds(cls, key);
        if (s.value(QStringLiteral("loeschen")).toBool()) {
            execute(QStringLiteral("DELETE FROM %1 WHERE %2").arg(cls.list->table, keyWhere(cls)), kb);
            execute(QStringLiteral("DELETE FROM %1 WHERE %2").arg(cls.table, keyWhere(cls)), kb);
            continue;
        }
        if (s.value(QStringLiteral("anlegen")).toBool())
            execute(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(cls.table, cls.keyColumns.join(QStringLiteral(", ")),
                             QStringLiteral("?, ").repeated(static_cast<int>(key.size())).chopped(2)),
                    kb);
        // The newest of equal values goes first.
        for (const QJsonValue& w : s.value(QStringLiteral("weg")).toArray())
            execute(QStringLiteral("DELETE FROM %1 WHERE %2 AND pos = (SELECT MAX(pos) FROM %1 WHERE %2 AND %3 = ?)")
                        .arg(cls.list->table, keyWhere(cls), cls.list->valueColumn),
                    kb + kb + QVariantList{w.toString()});
        std::vector<QString> hinzu;
        for (const QJsonValue& w : s.value(QStringLiteral("hinzu")).toArray())
            hinzu.push_back(w.toString());
        if (!hinzu.empty()) anhaengen.emplace_back(o, std::move(hinzu));
    }
    // Each record's values after its last position.
    struct Zeile {
        const ClassDef* cls;
        QStringList key;
        QString wert;
        int pos;
    };
    // The last positions of all these records in two queries, not one per record.
    std::map<QString, int> letzte;
    QJsonArray gruppen, stufen;
    for (const auto& [o, werte] : anhaengen) {
        const QStringList k = Schluessel(o);
        if (o.startsWith(QLatin1String("Gruppe ")))
            gruppen.append(k.front());
        else
            stufen.append(QJsonArray{k.value(0), k.value(1), k.value(2)});
    }
    if (!gruppen.isEmpty())
        for (const QStringList& r : select(QStringLiteral("SELECT gruppe, MAX(pos) FROM uv_gruppen_pcode WHERE gruppe IN (%1) "
                                                          "GROUP BY gruppe")
                                               .arg(Schema::jsonWerteSql(m_db)),
                                           {QString::fromUtf8(QJsonDocument(gruppen).toJson(QJsonDocument::Compact))}, 2))
            letzte[QStringLiteral("Gruppe ") + r[0]] = r[1].toInt();
    // Many levels: every level's last position in key order beats a lookup each.
    if (!stufen.isEmpty())
        for (const QStringList& r :
             select(stufen.size() > 50
                        ? QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe, MAX(pos) FROM "
                                         "uv_programm_gruppe WHERE CAST(? AS TEXT) <> '' "
                                         "GROUP BY programmname, subprogramm, berechtigungsstufe")
                        : QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe, MAX(pos) FROM "
                                         "uv_programm_gruppe WHERE (programmname, subprogramm, berechtigungsstufe) IN (%1) "
                                         "GROUP BY programmname, subprogramm, berechtigungsstufe")
                              .arg(Schema::jsonTripelSql(m_db)),
                    {QString::fromUtf8(QJsonDocument(stufen).toJson(QJsonDocument::Compact))}, 4))
            letzte[QStringLiteral("Stufe ") + r.mid(0, 3).join(QStringLiteral("||"))] = r[3].toInt();
    std::vector<Zeile> zeilen;
    for (const auto& [o, werte] : anhaengen) {
        const ClassDef& cls = Klasse(o);
        const QStringList key = Schluessel(o);
        int pos = letzte.count(o) ? letzte.at(o) : 0;
        for (const QString& w : werte)
            zeilen.push_back({&cls, key, w, ++pos});
    }
    // All rows of a class in one statement, handed over as one JSON array:
    // thousands of grants bound value by value would cost more than storing them.
    for (const ClassDef* cls : {&Klasse(QStringLiteral("Gruppe ")), &Klasse(QStringLiteral("Stufe "))}) {
        QJsonArray werte;
        for (const Zeile& z : zeilen) {
            if (z.cls != cls) continue;
            QJsonArray r;
            for (const QString& k : z.key)
                r.append(k);
            r.append(z.pos);
            r.append(z.wert);
            werte.append(r);
        }
        if (werte.isEmpty()) continue;
        const int n = static_cast<int>(cls->keyColumns.size()) + 2;
        execute(QStringLiteral("INSERT INTO %1 (%2, pos, %3) %4")
                    .arg(cls->list->table, cls->keyColumns.join(QStringLiteral(", ")), cls->list->valueColumn,
                         Schema::jsonZeilenSql(m_db, n, n - 2)),
                {QString::fromUtf8(QJsonDocument(werte).toJson(QJsonDocument::Compact))});
    }
}

const ClassDef& SqlCacheFactory::Klasse(const QString& objekt) {
    return *findClass(objekt.startsWith(QLatin1String("Gruppe ")) ? QStringLiteral("UserVerwaltung.Gruppen")
                                                                   : QStringLiteral("UserVerwaltung.Programm"));
}

QStringList SqlCacheFactory::Schluessel(const QString& objekt) {
    return objekt.startsWith(QLatin1String("Gruppe ")) ? QStringList{objekt.mid(7)}
                                                        : objekt.mid(6).split(QStringLiteral("||"));
}
