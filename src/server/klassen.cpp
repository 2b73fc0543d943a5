#include "klassen.h"

namespace {

QList<ClassDef> makeClasses() {
    QList<ClassDef> c;
    c.append({QStringLiteral("KV.ParPersEdv"),
              QStringLiteral("kv_parpersedv"),
              {QStringLiteral("firma"), QStringLiteral("pcode")},
              {{QStringLiteral("Firma"), QStringLiteral("firma")},
               {QStringLiteral("PCODE"), QStringLiteral("pcode")},
               {QStringLiteral("Aktiv"), QStringLiteral("aktiv")},
               {QStringLiteral("PNAME"), QStringLiteral("pname")},
               {QStringLiteral("PNR"), QStringLiteral("pnr")},
               {QStringLiteral("ABTNR"), QStringLiteral("abtnr")},
               {QStringLiteral("DW"), QStringLiteral("dw")},
               {QStringLiteral("BERGRP"), QStringLiteral("bergrp")}},
              std::nullopt});
    c.append({QStringLiteral("KV.ParPersAbt"),
              QStringLiteral("kv_parpersabt"),
              {QStringLiteral("firma"), QStringLiteral("abtnr")},
              {{QStringLiteral("Firma"), QStringLiteral("firma")},
               {QStringLiteral("ABTNR"), QStringLiteral("abtnr")},
               {QStringLiteral("abtbez"), QStringLiteral("abtbez")},
               {QStringLiteral("HAbtNr"), QStringLiteral("habtnr")}},
              std::nullopt});
    c.append({QStringLiteral("KV.PersBasis"),
              QStringLiteral("kv_persbasis"),
              {QStringLiteral("firma"), QStringLiteral("pnr")},
              {{QStringLiteral("Firma"), QStringLiteral("firma")},
               {QStringLiteral("PNR"), QStringLiteral("pnr")},
               {QStringLiteral("Fax"), QStringLiteral("fax")},
               {QStringLiteral("EMail"), QStringLiteral("email")}},
              std::nullopt});
    ClassDef kassa{QStringLiteral("KV.KassaSW"),
                   QStringLiteral("kv_kassasw"),
                   {QStringLiteral("sys_id")},
                   {{QStringLiteral("sys_ID"), QStringLiteral("sys_id"), true},
                    {QStringLiteral("Firma"), QStringLiteral("firma")},
                    {QStringLiteral("FIL"), QStringLiteral("fil")},
                    {QStringLiteral("ip"), QStringLiteral("ip")},
                    {QStringLiteral("PORT"), QStringLiteral("port")},
                    {QStringLiteral("NAMESPACE"), QStringLiteral("namespace")},
                    {QStringLiteral("Type"), QStringLiteral("type"), true},
                    {QStringLiteral("Bezeichnung"), QStringLiteral("bezeichnung")}},
                   std::nullopt};
    kassa.integerKey = true;
    c.append(kassa);
    ClassDef windows{QStringLiteral("KV.Windows"), {}, {}, {}, std::nullopt};
    windows.newOnly = true;
    c.append(windows);
    c.append({QStringLiteral("UserVerwaltung.Gruppen"),
              QStringLiteral("uv_gruppen"),
              {QStringLiteral("gruppe")},
              {{QStringLiteral("Gruppe"), QStringLiteral("gruppe")}},
              ListDef{QStringLiteral("PCODE"), QStringLiteral("uv_gruppen_pcode"), QStringLiteral("pcode")}});
    c.append(
        {QStringLiteral("UserVerwaltung.Programm"),
         QStringLiteral("uv_programm"),
         {QStringLiteral("programmname"), QStringLiteral("subprogramm"),
          QStringLiteral("berechtigungsstufe")},
         {{QStringLiteral("ProgrammName"), QStringLiteral("programmname")},
          {QStringLiteral("SubProgramm"), QStringLiteral("subprogramm")},
          {QStringLiteral("BerechtigungsStufe"), QStringLiteral("berechtigungsstufe")}},
         ListDef{QStringLiteral("Gruppe"), QStringLiteral("uv_programm_gruppe"), QStringLiteral("gruppe")}});
    return c;
}

QHash<QString, QueryDef> makeQueries() {
    QHash<QString, QueryDef> q;
    // Every box shows ascending entries: the group box appends, the others insert at the top.
    q.insert(
        QStringLiteral("kv.parpersedv|liste"),
        {QStringLiteral("SELECT pcode, pname FROM kv_parpersedv WHERE firma = ? ORDER BY pcode"), {0}, 1, 2});
    q.insert(QStringLiteral("kv.kassasw|connstrg"),
             {QStringLiteral("SELECT sys_id, bezeichnung FROM kv_kassasw ORDER BY sys_id"), {}, 1, 2});
    q.insert(QStringLiteral("userverwaltung.gruppen|gruppen"),
             {QStringLiteral("SELECT gruppe FROM uv_gruppen ORDER BY gruppe"), {}, 0, 1});
    // A group's members in their order, each with "1" and the name of its
    // employee record in the given company (empty without one): one round trip.
    // Members are stored in window form, employee codes in the 7-bit form; the
    // lookup per member uses the employee key, whatever the company's size.
    q.insert(QStringLiteral("userverwaltung.gruppen|mitglieder"),
             {QStringLiteral("SELECT g.pcode, (SELECT '1' || p.pname FROM kv_parpersedv p WHERE p.firma = ? AND "
                             "p.pcode = %1), COALESCE((SELECT b.bis FROM uv_befristung b WHERE b.gruppe = g.gruppe "
                             "AND b.pcode = g.pcode), '') "
                             "FROM uv_gruppen_pcode g WHERE g.gruppe = ? ORDER BY g.pos")
                  .arg(SiebenbitSql(QStringLiteral("g.pcode"))),
              {1, 0},
              2,
              3,
              {1}});
    // Every dated membership, soonest first: group, code, name in the given
    // company ("" without an employee record), date, reason, who set it and
    // when. Parameter: company, and the last date to show ("" for all).
    q.insert(QStringLiteral("userverwaltung.gruppen|befristungen"),
             {QStringLiteral("SELECT b.gruppe, b.pcode, COALESCE((SELECT p.pname FROM kv_parpersedv p "
                             "WHERE p.firma = ? AND p.pcode = %1), ''), b.bis, b.grund, b.wer, b.wann "
                             "FROM uv_befristung b WHERE CAST(? AS TEXT) = '' OR b.bis <= ? "
                             "ORDER BY b.bis, b.gruppe, b.pcode")
                  .arg(SiebenbitSql(QStringLiteral("b.pcode"))),
              {0, 1, 1},
              2,
              7,
              {2}});
    // Who may do what: one row per member code, level held and granting group,
    // with the member's name in the given company (empty without an employee
    // record). Parameters: company, then code, group, program, sub-program and
    // level, each "" for any. One round trip for any of the overviews. What holds
    // no level still shows, with the missing part empty: members of a group
    // without levels, levels of a group without members, a group with neither,
    // and a chosen employee who is in no group.
    q.insert(QStringLiteral("userverwaltung.gruppen|matrix"),
             {QStringLiteral(
                  // Members and levels made distinct before they are joined: the
                  // rows come out distinct without a sort of all of them, and each
                  // member's name is looked up once, not once per level.
                  "SELECT m.pcode, m.name, m.gruppe, pg.programmname, pg.subprogramm, pg.berechtigungsstufe "
                  "FROM (SELECT DISTINCT gp.gruppe, gp.pcode, COALESCE((SELECT p.pname FROM kv_parpersedv p "
                  "WHERE p.firma = ? AND p.pcode = %1), '') AS name FROM uv_gruppen_pcode gp "
                  "WHERE (CAST(? AS TEXT) = '' OR gp.pcode = ?) AND (CAST(? AS TEXT) = '' OR gp.gruppe = ?)) m "
                  "JOIN (SELECT DISTINCT gruppe, programmname, subprogramm, berechtigungsstufe FROM uv_programm_gruppe "
                  "WHERE (CAST(? AS TEXT) = '' OR programmname = ?) "
                  "AND (CAST(? AS TEXT) = '' OR subprogramm = ?) "
                  "AND (CAST(? AS TEXT) = '' OR berechtigungsstufe = ?)) pg ON pg.gruppe = m.gruppe "
                  "UNION ALL SELECT DISTINCT gp.pcode, COALESCE((SELECT p.pname FROM kv_parpersedv p "
                  "WHERE p.firma = ? AND p.pcode = %1), ''), gp.gruppe, '', '', '' "
                  "FROM uv_gruppen_pcode gp "
                  "WHERE NOT EXISTS (SELECT 1 FROM uv_programm_gruppe pg WHERE pg.gruppe = gp.gruppe) "
                  "AND (CAST(? AS TEXT) = '' OR gp.pcode = ?) AND (CAST(? AS TEXT) = '' OR gp.gruppe = ?) "
                  "AND CAST(? AS TEXT) || CAST(? AS TEXT) || CAST(? AS TEXT) = '' "
                  "UNION ALL SELECT DISTINCT '', '', pg.gruppe, pg.programmname, pg.subprogramm, "
                  "pg.berechtigungsstufe FROM uv_programm_gruppe pg "
                  "WHERE NOT EXISTS (SELECT 1 FROM uv_gruppen_pcode gp WHERE gp.gruppe = pg.gruppe) "
                  "AND CAST(? AS TEXT) = '' AND (CAST(? AS TEXT) = '' OR pg.gruppe = ?) "
                  "AND (CAST(? AS TEXT) = '' OR pg.programmname = ?) "
                  "AND (CAST(? AS TEXT) = '' OR pg.subprogramm = ?) "
                  "AND (CAST(? AS TEXT) = '' OR pg.berechtigungsstufe = ?) "
                  "UNION ALL SELECT '', '', g.gruppe, '', '', '' FROM uv_gruppen g "
                  "WHERE NOT EXISTS (SELECT 1 FROM uv_gruppen_pcode gp WHERE gp.gruppe = g.gruppe) "
                  "AND NOT EXISTS (SELECT 1 FROM uv_programm_gruppe pg WHERE pg.gruppe = g.gruppe) "
                  "AND CAST(? AS TEXT) || CAST(? AS TEXT) || CAST(? AS TEXT) || CAST(? AS TEXT) = '' "
                  "AND (CAST(? AS TEXT) = '' OR g.gruppe = ?) "
                  "UNION ALL SELECT CAST(? AS TEXT), p.pname, '', '', '', '' FROM kv_parpersedv p "
                  "WHERE CAST(? AS TEXT) <> '' AND p.firma = ? AND p.pcode = %2 "
                  "AND CAST(? AS TEXT) || CAST(? AS TEXT) || CAST(? AS TEXT) || CAST(? AS TEXT) = '' "
                  "AND NOT EXISTS (SELECT 1 FROM uv_gruppen_pcode gp WHERE gp.pcode = ?) "
                  "ORDER BY 1, 3, 4, 5, 6")
                  .arg(SiebenbitSql(QStringLiteral("gp.pcode")),
                       SiebenbitSql(QStringLiteral("CAST(? AS TEXT)"))),
              {0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, // held levels
               0, 1, 1, 2, 2, 3, 4, 5,          // members of a group without levels
               1, 2, 2, 3, 3, 4, 4, 5, 5,       // levels of a group without members
               1, 3, 4, 5, 2, 2,                // a group with neither
               1, 1, 0, 1, 2, 3, 4, 5, 1},      // an employee in no group
              6,
              6,
              {1},
              true});
    // The overview of one employee (code), one group or one level (program,
    // sub-program and level): the groups in question ("G"), their members ("M",
    // only the employee's own rows for an employee) with "1" and the name of the
    // employee record in the company (empty without one), and the levels they
    // hold ("S", only the level itself for a level), in no order (the caller
    // sorts; sorting here cost more than the rest of the query). Columns a kind
    // does not use are NULL: nothing to convert for 25,000 level rows. Parameters:
    // company, code, group, program, sub-program, level; one of code, group or
    // level is given.
    q.insert(QStringLiteral("userverwaltung.gruppen|uebersicht"),
             {QStringLiteral(
                  "WITH g AS (SELECT gruppe FROM uv_gruppen_pcode WHERE CAST(? AS TEXT) <> '' AND pcode = ? "
                  "UNION SELECT gruppe FROM uv_programm_gruppe WHERE CAST(? AS TEXT) <> '' AND programmname = ? "
                  "AND subprogramm = ? AND berechtigungsstufe = ? "
                  "UNION SELECT CAST(? AS TEXT) WHERE CAST(? AS TEXT) <> '') "
                  "SELECT 'G', g.gruppe, NULL, NULL, NULL, NULL, NULL FROM g "
                  "UNION ALL SELECT 'M', m.gruppe, m.pcode, COALESCE((SELECT '1' || p.pname FROM kv_parpersedv p "
                  "WHERE p.firma = ? AND p.pcode = %1), ''), NULL, NULL, NULL "
                  "FROM uv_gruppen_pcode m JOIN g ON g.gruppe = m.gruppe WHERE CAST(? AS TEXT) = '' OR m.pcode = ? "
                  // A level's own rows through its key, the others' through the group.
                  "UNION ALL SELECT 'S', s.gruppe, NULL, NULL, s.programmname, s.subprogramm, s.berechtigungsstufe "
                  "FROM uv_programm_gruppe s WHERE CAST(? AS TEXT) <> '' AND s.programmname = ? "
                  "AND s.subprogramm = ? AND s.berechtigungsstufe = ? "
                  "UNION ALL SELECT 'S', s.gruppe, NULL, NULL, s.programmname, s.subprogramm, s.berechtigungsstufe "
                  "FROM uv_programm_gruppe s JOIN g ON g.gruppe = s.gruppe WHERE CAST(? AS TEXT) = ''")
                  .arg(SiebenbitSql(QStringLiteral("m.pcode"))),
              {1, 1, 3, 3, 4, 5, 2, 2, 0, 1, 1, 3, 3, 4, 5, 3},
              6,
              7,
              {3}});
    // Two employees compared: one row per employee, level held and granting
    // group, and one per group of theirs that holds no level (program columns
    // empty): code, name in the company (empty without an employee record),
    // group, program, sub-program, level, in no order (the caller compares and
    // sorts). Parameters: company, code 1, code 2. One round trip.
    q.insert(QStringLiteral("userverwaltung.gruppen|vergleich"),
             {QStringLiteral(
                  "WITH m AS (SELECT DISTINCT CAST(? AS TEXT) AS wer, gruppe FROM uv_gruppen_pcode WHERE pcode = ? "
                  "UNION SELECT DISTINCT CAST(? AS TEXT), gruppe FROM uv_gruppen_pcode WHERE pcode = ?), "
                  // Each one's name looked up once, not per row.
                  "w AS (SELECT x.wer, COALESCE((SELECT p.pname FROM kv_parpersedv p WHERE p.firma = ? AND "
                  "p.pcode = %1), '') AS name FROM (SELECT DISTINCT wer FROM m) x) "
                  "SELECT DISTINCT m.wer, w.name, m.gruppe, pg.programmname, pg.subprogramm, pg.berechtigungsstufe "
                  "FROM m JOIN w ON w.wer = m.wer JOIN uv_programm_gruppe pg ON pg.gruppe = m.gruppe "
                  "UNION ALL SELECT m.wer, w.name, m.gruppe, '', '', '' FROM m JOIN w ON w.wer = m.wer "
                  "WHERE NOT EXISTS (SELECT 1 FROM uv_programm_gruppe pg WHERE pg.gruppe = m.gruppe)")
                  .arg(SiebenbitSql(QStringLiteral("x.wer"))),
              {1, 1, 2, 2, 0},
              3,
              6,
              {1}});
    // The change log's latest entry of a record's own content: time, code,
    // company, branch, workstation and the content after it ("" once deleted).
    // A group's withdrawal from levels and its grants as a copy are logged
    // under the group but are not its content.
    // A level also goes with its program or sub-program (the next two
    // parameters; "" for a group), whose entry holds each level it deleted.
    q.insert(QStringLiteral("userverwaltung.protokoll|letzte"),
             {QStringLiteral("SELECT zeit, pcode, firma, filiale, rechner, nachher, objekt, vorher FROM uv_protokoll "
                             "WHERE objekt IN (?, ?, ?) AND befehl NOT IN ('aus Stufen entfernen', 'berechtigen') "
                             "ORDER BY zeit DESC, nr DESC LIMIT 1"),
              {0, 1, 2},
              3,
              8});
    // The rules of incompatible rights by name: name, description and the
    // two sides' program, sub-program and level.
    q.insert(QStringLiteral("userverwaltung.regel|liste"),
             {QStringLiteral("SELECT name, beschreibung, p1, s1, l1, p2, s2, l2 FROM uv_regel ORDER BY name"), {}, 0, 8});
    // What the current violations are made of, for the client to put
    // together (the join of every member with every rule's groups would be
    // the server's largest sort): the rules' granting groups, the exceptions,
    // and the memberships in those groups with the employee's name in the
    // given company ("" without an employee record). Columns: kind ("1"
    // side, "2" exception, "3" membership), name, code, rule, side (1 or 2),
    // group, the exception's reason, who granted it and when; sorted by kind,
    // code, rule, side and group. Parameter: company.
    q.insert(QStringLiteral("userverwaltung.regel|verstoesse"),
             {QStringLiteral("WITH s AS (%1) "
                             "SELECT '1', '', '', s.regel, CAST(s.seite AS TEXT), s.gruppe, '', '', '' FROM s "
                             "UNION ALL SELECT '2', '', a.pcode, a.regel, '', '', a.grund, a.wer, a.wann "
                             "FROM uv_ausnahme a "
                             "UNION ALL SELECT '3', COALESCE((SELECT p.pname FROM kv_parpersedv p WHERE p.firma = ? "
                             "AND p.pcode = %2), ''), x.pcode, '', '', x.gruppe, '', '', '' FROM (SELECT DISTINCT "
                             "m.pcode, m.gruppe FROM uv_gruppen_pcode m WHERE m.gruppe IN (SELECT gruppe FROM s)) x "
                             "ORDER BY 1, 3, 4, 5, 6")
                  .arg(RegelSeitenSql(QStringLiteral("uv_regel")), SiebenbitSql(QStringLiteral("x.pcode"))),
              {0},
              1,
              9,
              {1},
              true});
    // The newest entry's number.
    q.insert(QStringLiteral("userverwaltung.protokoll|stand"),
             {QStringLiteral("SELECT COALESCE(MAX(nr), 0) FROM uv_protokoll"), {}, 0, 1});
    // A user's newest change on a workstation after entry `nr` that can still be
    // taken back: no undo, no part of another entry, not undone yet. Parameters:
    // after nr, company, code, workstation. Columns: nr, command, record.
    q.insert(QStringLiteral("userverwaltung.protokoll|eigene"),
             {QStringLiteral("SELECT p.nr, p.befehl, p.objekt FROM uv_protokoll p WHERE p.nr > CAST(? AS BIGINT) "
                             "AND p.firma = ? AND p.pcode = ? AND p.rechner = ? AND p.bezug = 0 "
                             "AND p.objekt NOT LIKE 'Verbindung %' AND NOT EXISTS (SELECT 1 FROM uv_protokoll u "
                             "WHERE u.bezug = p.nr AND u.befehl = 'rückgängig') ORDER BY p.nr DESC LIMIT 1"),
              {0, 1, 2, 3},
              4,
              3});
    // The newest log entries that match, at most as many as the last parameter
    // says: from, to (times as stored, "" for open), personal code and record
    // text, each with its LIKE pattern on the lowered column. The caller folds
    // the case beyond ASCII itself, so the rows are read as they come. The
    // entry's number comes last.
    q.insert(QStringLiteral("userverwaltung.protokoll|liste"),
             {QStringLiteral("SELECT zeit, firma, filiale, pcode, rechner, befehl, objekt, vorher, nachher, nr "
                             "FROM uv_protokoll WHERE (CAST(? AS TEXT) = '' OR zeit >= ?) "
                             "AND (CAST(? AS TEXT) = '' OR zeit < ?) "
                             "AND (CAST(? AS TEXT) = '' OR LOWER(pcode) LIKE ? ESCAPE '\\') "
                             "AND (CAST(? AS TEXT) = '' OR LOWER(objekt) LIKE ? ESCAPE '\\') "
                             "ORDER BY zeit DESC, nr DESC LIMIT CAST(? AS INTEGER)"),
              {0, 0, 1, 1, 2, 3, 4, 5, 6},
              7,
              10,
              {},
              true});
    // From one program name to the next lower one through the key's index:
    // as many steps as programs, not a read of every level record.
    q.insert(QStringLiteral("userverwaltung.programm|programme"),
             {QStringLiteral("WITH RECURSIVE p(name) AS (SELECT MAX(programmname) FROM uv_programm UNION ALL "
                             "SELECT (SELECT MAX(programmname) FROM uv_programm WHERE programmname < p.name) FROM p "
                             "WHERE p.name IS NOT NULL) SELECT name FROM p WHERE name IS NOT NULL"),
              {},
              0,
              1});
    q.insert(QStringLiteral("userverwaltung.programm|subprogramme"),
             {QStringLiteral("SELECT DISTINCT subprogramm FROM uv_programm WHERE programmname = ? "
                             "ORDER BY subprogramm DESC"),
              {0},
              1,
              1});
    q.insert(QStringLiteral("userverwaltung.programm|stufen"),
             {QStringLiteral("SELECT berechtigungsstufe, subprogramm FROM uv_programm WHERE programmname = ? "
                             "AND (CAST(? AS TEXT) = '' OR subprogramm = ?) "
                             "ORDER BY subprogramm DESC, berechtigungsstufe DESC"),
              {0, 1, 1},
              2,
              2});
    return q;
}

} // namespace

QString RegelSeitenSql(const QString& regeln) {
    QString s;
    for (int seite : {1, 2})
        s += QStringLiteral("%1SELECT r.name AS regel, %2 AS seite, pg.gruppe FROM %3 r JOIN uv_programm_gruppe pg "
                            "ON pg.programmname = r.p%2 AND (r.s%2 = '*' OR pg.subprogramm = r.s%2) "
                            "AND (r.l%2 = '*' OR pg.berechtigungsstufe = r.l%2)")
                 .arg(seite == 1 ? QString() : QStringLiteral(" UNION "))
                 .arg(seite)
                 .arg(regeln);
    return s;
}

QString SiebenbitSql(const QString& spalte) {
    return QStringLiteral("REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(REPLACE(%1, 'ä', '{'), "
                          "'ö', '|'), 'ü', '}'), 'ß', '~'), 'Ä', '['), 'Ö', '\\'), 'Ü', ']'), '§', 'õ')")
        .arg(spalte);
}

const PropertyDef* ClassDef::property(const QString& n) const {
    for (const PropertyDef& p : properties)
        if (p.name.compare(n, Qt::CaseInsensitive) == 0) return &p;
    return nullptr;
}

const ClassDef* findClass(const QString& name) {
    static const QList<ClassDef> classes = makeClasses();
    for (const ClassDef& c : classes)
        if (c.name.compare(name, Qt::CaseInsensitive) == 0) return &c;
    return nullptr;
}

const QueryDef* findQuery(const QString& klasse, const QString& abfrage) {
    static const QHash<QString, QueryDef> queries = makeQueries();
    auto it = queries.constFind(klasse.toLower() + QLatin1Char('|') + abfrage.toLower());
    return it == queries.constEnd() ? nullptr : &*it;
}

namespace {
// The server's 7-bit German form: window character and stored character.
constexpr std::pair<char16_t, char16_t> SiebenBit[] = {{0xE4, u'{'}, {0xF6, u'|'}, {0xFC, u'}'},
                                                       {0xDF, u'~'}, {0xC4, u'['}, {0xD6, u'\\'},
                                                       {0xDC, u']'}, {0xA7, 0xF5}};

QString Abbilden(const QString& text, bool zurAnzeige) {
    QString s = text;
    for (QChar& c : s)
        for (const auto& [anzeige, gespeichert] : SiebenBit)
            if (c.unicode() == (zurAnzeige ? gespeichert : anzeige)) {
                c = QChar(zurAnzeige ? anzeige : gespeichert);
                break;
            }
    return s;
}
} // namespace

QString sevenBitToDisplay(const QString& stored) {
    return Abbilden(stored, true);
}

QString displayToSevenBit(const QString& text) {
    return Abbilden(text, false);
}
