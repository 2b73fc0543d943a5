// PostgreSQL: the commands of the main window as functions on the server, so
// that each is one call, as the suite's server runs its class methods. They
// do what the in-process methods of sqlfactory.cpp do on SQLite, statement for
// statement: the same locks in the same order, the same checks and messages,
// the same log entries. Errors carry SQLSTATE "KV" and the client's error number.
//
// A record is named by its kind ('g' group, 's' level) and its key parts.

#include "schema.h"

namespace Schema {

QStringList funktionen() {
    return {
        // One log entry; `kopf` is [company, branch, code, workstation], NULL when not logging.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_protokollieren(kopf json, befehl text, objekt text, vorher text, nachher text,
                                             bezug bigint DEFAULT 0) RETURNS bigint LANGUAGE plpgsql AS $f$
DECLARE n bigint;
BEGIN
  IF kopf IS NULL THEN RETURN 0; END IF;
  INSERT INTO uv_protokoll (zeit, firma, filiale, pcode, rechner, befehl, objekt, vorher, nachher, bezug)
  VALUES (to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'),
          kopf->>0, kopf->>1, kopf->>2, kopf->>3, befehl, objekt, vorher, nachher, bezug)
  RETURNING nr INTO n;
  RETURN n;
END $f$)sql"),
        // The values of a JSON list in byte order: lists compared as multisets.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_menge(werte json) RETURNS text[] LANGUAGE sql AS $f$
  SELECT COALESCE(array_agg(v COLLATE "C" ORDER BY v COLLATE "C"), '{}') FROM json_array_elements_text(werte) v
$f$)sql"),
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_objektname(art text, k text[]) RETURNS text LANGUAGE sql AS $f$
  SELECT CASE art WHEN 'g' THEN 'Gruppe ' ELSE 'Stufe ' END || array_to_string(k, '||')
$f$)sql"),
        // The record's list as a JSON text, in its order.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_liste(art text, k text[]) RETURNS text LANGUAGE plpgsql AS $f$
DECLARE t text;
BEGIN
  IF art = 'g' THEN
    SELECT to_json(array_agg(pcode ORDER BY pos))::text INTO t FROM uv_gruppen_pcode WHERE gruppe = k[1];
  ELSE
    SELECT to_json(array_agg(gruppe ORDER BY pos))::text INTO t FROM uv_programm_gruppe
     WHERE programmname = k[1] AND subprogramm = k[2] AND berechtigungsstufe = k[3];
  END IF;
  RETURN COALESCE(t, '[]');
END $f$)sql"),
        // Locks the record's row; whether it is there.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_sperren(art text, k text[]) RETURNS boolean LANGUAGE plpgsql AS $f$
BEGIN
  IF art = 'g' THEN
    PERFORM 1 FROM uv_gruppen WHERE gruppe = k[1] FOR UPDATE;
  ELSE
    PERFORM 1 FROM uv_programm WHERE programmname = k[1] AND subprogramm = k[2] AND berechtigungsstufe = k[3]
      FOR UPDATE;
  END IF;
  RETURN FOUND;
END $f$)sql"),
        // Is the record still as the caller knows it? pruefen: 0 not asked,
        // 1 its list `geladen`, 2 no record. A record that is not there has no
        // row to lock: two creators take turns on its name.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_pruefen(art text, k text[], geladen json, pruefen int) RETURNS void
LANGUAGE plpgsql AS $f$
DECLARE da boolean; n int; o text := uv_objektname(art, k);
BEGIN
  IF pruefen = 0 THEN RETURN; END IF;
  IF pruefen = 2 THEN
    PERFORM pg_advisory_xact_lock(hashtextextended(
      CASE art WHEN 'g' THEN 'uv_gruppen|' ELSE 'uv_programm|' END || array_to_string(k, '||'), 0));
  END IF;
  da := uv_sperren(art, k);
  IF pruefen = 2 AND da THEN
    n := json_array_length(uv_liste(art, k)::json);
    RAISE EXCEPTION USING ERRCODE = 'KV115', MESSAGE = format('<KONFLIKT> %s besteht bereits mit %s %s', o, n,
      CASE WHEN n = 1 THEN 'Eintrag' ELSE 'Einträgen' END);
  END IF;
  IF pruefen = 1 AND NOT da THEN
    RAISE EXCEPTION USING ERRCODE = 'KV114', MESSAGE = format('<KONFLIKT> %s wurde inzwischen gelöscht', o);
  END IF;
  IF pruefen = 1 AND uv_menge(uv_liste(art, k)::json) <> uv_menge(geladen) THEN
    RAISE EXCEPTION USING ERRCODE = 'KV113', MESSAGE = format('<KONFLIKT> %s wurde inzwischen geändert', o);
  END IF;
END $f$)sql"),
        // Creates the record when it is missing (logged, an empty one too); whether it did.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_anlegen(kopf json, art text, k text[]) RETURNS boolean LANGUAGE plpgsql AS $f$
BEGIN
  IF art = 'g' THEN
    INSERT INTO uv_gruppen (gruppe) VALUES (k[1]) ON CONFLICT DO NOTHING;
  ELSE
    INSERT INTO uv_programm (programmname, subprogramm, berechtigungsstufe) VALUES (k[1], k[2], k[3])
      ON CONFLICT DO NOTHING;
  END IF;
  IF NOT FOUND THEN RETURN false; END IF;
  PERFORM uv_protokollieren(kopf, 'anlegen', uv_objektname(art, k), '', '[]');
  RETURN true;
END $f$)sql"),
        // Replaces the list; the same values in another order store and log nothing.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_speichern(kopf json, art text, k text[], liste json) RETURNS void
LANGUAGE plpgsql AS $f$
DECLARE vorher text;
BEGIN
  IF NOT uv_sperren(art, k) THEN
    RAISE EXCEPTION USING ERRCODE = 'KV105', MESSAGE = format('<LOADOBJ> %s: kein Objekt mit der Id %s',
      CASE art WHEN 'g' THEN 'UserVerwaltung.Gruppen' ELSE 'UserVerwaltung.Programm' END, array_to_string(k, '||'));
  END IF;
  vorher := uv_liste(art, k);
  IF uv_menge(vorher::json) = uv_menge(liste) THEN RETURN; END IF;
  IF art = 'g' THEN
    DELETE FROM uv_gruppen_pcode WHERE gruppe = k[1];
    INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode)
      SELECT k[1], n, v FROM json_array_elements_text(liste) WITH ORDINALITY x(v, n);
  ELSE
    DELETE FROM uv_programm_gruppe WHERE programmname = k[1] AND subprogramm = k[2] AND berechtigungsstufe = k[3];
    INSERT INTO uv_programm_gruppe (programmname, subprogramm, berechtigungsstufe, pos, gruppe)
      SELECT k[1], k[2], k[3], n, v FROM json_array_elements_text(liste) WITH ORDINALITY x(v, n);
  END IF;
  PERFORM uv_protokollieren(kopf, 'speichern', uv_objektname(art, k), vorher, liste::text);
END $f$)sql"),
        // Deletes a locked record with its list; the entry's number.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_loeschen(kopf json, art text, k text[]) RETURNS bigint LANGUAGE plpgsql AS $f$
DECLARE vorher text := uv_liste(art, k);
BEGIN
  IF art = 'g' THEN
    DELETE FROM uv_gruppen_pcode WHERE gruppe = k[1];
    DELETE FROM uv_gruppen WHERE gruppe = k[1];
  ELSE
    DELETE FROM uv_programm_gruppe WHERE programmname = k[1] AND subprogramm = k[2] AND berechtigungsstufe = k[3];
    DELETE FROM uv_programm WHERE programmname = k[1] AND subprogramm = k[2] AND berechtigungsstufe = k[3];
  END IF;
  RETURN uv_protokollieren(kopf, 'löschen', uv_objektname(art, k), vorher, '');
END $f$)sql"),
        // The group leaves every level: the levels locked in key order, the
        // entry names each as often as it held the group.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_entziehen(kopf json, g text, bezug bigint) RETURNS integer LANGUAGE plpgsql AS $f$
DECLARE n integer; stufen text;
BEGIN
  PERFORM 1 FROM uv_programm p WHERE EXISTS (SELECT 1 FROM uv_programm_gruppe s WHERE s.gruppe = g
    AND s.programmname = p.programmname AND s.subprogramm = p.subprogramm
    AND s.berechtigungsstufe = p.berechtigungsstufe)
    ORDER BY p.programmname, p.subprogramm, p.berechtigungsstufe FOR UPDATE;
  SELECT to_json(array_agg(programmname || '||' || subprogramm || '||' || berechtigungsstufe
                           ORDER BY programmname, subprogramm, berechtigungsstufe, pos))::text
    INTO stufen FROM uv_programm_gruppe WHERE gruppe = g;
  IF stufen IS NOT NULL THEN
    PERFORM uv_protokollieren(kopf, 'aus Stufen entfernen', 'Gruppe ' || g, stufen, '[]', bezug);
  END IF;
  DELETE FROM uv_programm_gruppe WHERE gruppe = g;
  GET DIAGNOSTICS n = ROW_COUNT;
  RETURN n;
END $f$)sql"),
        // What the window shows next, read in the command's transaction: the
        // rows of the queries it reloads (as the in-process queries order them)
        // and a level with its groups. The client takes them instead of asking again.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_vorrat_gruppen() RETURNS json LANGUAGE sql AS $f$
  SELECT json_build_object('a', 'userverwaltung.gruppen:gruppen', 'p', json_build_array(),
    'z', COALESCE((SELECT json_agg(json_build_array(gruppe) ORDER BY gruppe) FROM uv_gruppen), '[]'))
$f$)sql"),
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_vorrat_programme() RETURNS json LANGUAGE sql AS $f$
  WITH RECURSIVE p(name) AS (SELECT MAX(programmname) FROM uv_programm UNION ALL
    SELECT (SELECT MAX(programmname) FROM uv_programm WHERE programmname < p.name) FROM p WHERE p.name IS NOT NULL)
  SELECT json_build_object('a', 'userverwaltung.programm:programme', 'p', json_build_array(),
    'z', COALESCE((SELECT json_agg(json_build_array(name) ORDER BY name DESC) FROM p WHERE name IS NOT NULL), '[]'))
$f$)sql"),
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_vorrat_subprogramme(pr text) RETURNS json LANGUAGE sql AS $f$
  SELECT json_build_object('a', 'userverwaltung.programm:subprogramme', 'p', json_build_array(pr),
    'z', COALESCE((SELECT json_agg(json_build_array(s) ORDER BY s DESC) FROM
      (SELECT DISTINCT subprogramm AS s FROM uv_programm WHERE programmname = pr) x), '[]'))
$f$)sql"),
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_vorrat_stufen(pr text, sp text) RETURNS json LANGUAGE sql AS $f$
  SELECT json_build_object('a', 'userverwaltung.programm:stufen', 'p', json_build_array(pr, sp),
    'z', COALESCE((SELECT json_agg(json_build_array(berechtigungsstufe, subprogramm)
                                   ORDER BY subprogramm DESC, berechtigungsstufe DESC)
                   FROM uv_programm WHERE programmname = pr AND (sp = '' OR subprogramm = sp)), '[]'))
$f$)sql"),
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_vorrat_stufe(k text[]) RETURNS json LANGUAGE sql AS $f$
  SELECT json_build_object('o', 'userverwaltung.programm', 'id', array_to_string(k, '||'),
    'da', EXISTS (SELECT 1 FROM uv_programm WHERE programmname = k[1] AND subprogramm = k[2]
                  AND berechtigungsstufe = k[3]),
    'l', uv_liste('s', k)::json)
$f$)sql"),
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_vorrat_mitarbeiter(fa text) RETURNS json LANGUAGE sql AS $f$
  SELECT json_build_object('a', 'kv.parpersedv:liste', 'p', json_build_array(fa),
    'z', COALESCE((SELECT json_agg(json_build_array(pcode, pname) ORDER BY pcode) FROM kv_parpersedv
                   WHERE firma = fa), '[]'))
$f$)sql"),
        // The three lists a window opens with, in one request.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_listen(fa text) RETURNS text LANGUAGE sql AS $f$
  SELECT json_build_object('e', '', 'v', json_build_array(uv_vorrat_mitarbeiter(fa), uv_vorrat_gruppen(),
                                                          uv_vorrat_programme()))::text
$f$)sql"),
        // At sign-on, in one request: the user's records, and for an active
        // administrator whose password matches what the window reads next (the
        // log's newest entry and the three lists).
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_anmeldedaten(fa text, code text, pw text) RETURNS text LANGUAGE plpgsql AS $f$
DECLARE u kv_parpersedv; v json[];
BEGIN
  SELECT * INTO u FROM kv_parpersedv WHERE firma = fa AND pcode = code;
  IF NOT FOUND THEN RETURN json_build_object('e', '', 'v', json_build_array())::text; END IF;
  v := ARRAY[json_build_object('o', 'kv.parpersedv', 'id', fa || '||' || code, 'da', true, 'f', row_to_json(u))];
  IF u.passwort = pw AND u.aktiv = 'J' AND replace(trim(u.bergrp), ',', '.') ~ '^[0-9]+([.][0-9]+)?$'
     AND replace(trim(u.bergrp), ',', '.')::numeric >= 8 THEN
    v := v || json_build_object('o', 'kv.parpersabt', 'id', fa || '||' || u.abtnr,
      'da', EXISTS (SELECT 1 FROM kv_parpersabt WHERE firma = fa AND abtnr = u.abtnr),
      'f', (SELECT row_to_json(a) FROM kv_parpersabt a WHERE firma = fa AND abtnr = u.abtnr));
    v := v || json_build_object('o', 'kv.persbasis', 'id', fa || '||' || u.pnr,
      'da', EXISTS (SELECT 1 FROM kv_persbasis WHERE firma = fa AND pnr = u.pnr),
      'f', (SELECT row_to_json(b) FROM kv_persbasis b WHERE firma = fa AND pnr = u.pnr));
    v := v || json_build_object('a', 'userverwaltung.protokoll:stand', 'p', json_build_array(),
      'z', json_build_array(json_build_array((SELECT COALESCE(MAX(nr), 0) FROM uv_protokoll)::text)));
    v := v || uv_vorrat_mitarbeiter(fa) || uv_vorrat_gruppen() || uv_vorrat_programme();
  END IF;
  RETURN json_build_object('e', '', 'v', to_json(v))::text;
END $f$)sql"),
        // A new group with the source's members in their order and a grant on
        // every level the source holds (appended, once per level); logged as its
        // creation and one entry of its grants tied to it.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_gruppe_kopieren(kopf json, quelle text, ziel text, mitglieder boolean, stufen boolean)
RETURNS text LANGUAGE plpgsql AS $f$
DECLARE n integer; nr bigint; codes integer := 0; m integer := 0; stufenliste text;
BEGIN
  PERFORM pg_advisory_xact_lock(hashtextextended('uv_gruppen|' || ziel, 0));
  PERFORM 1 FROM uv_gruppen WHERE gruppe = quelle FOR SHARE;
  IF NOT FOUND THEN
    RAISE EXCEPTION USING ERRCODE = 'KV105',
      MESSAGE = format('<LOADOBJ> UserVerwaltung.Gruppen: kein Objekt mit der Id %s', quelle);
  END IF;
  IF EXISTS (SELECT 1 FROM uv_gruppen WHERE gruppe = ziel) THEN
    n := json_array_length(uv_liste('g', ARRAY[ziel])::json);
    RAISE EXCEPTION USING ERRCODE = 'KV115', MESSAGE = format('<KONFLIKT> Gruppe %s besteht bereits mit %s %s', ziel, n,
      CASE WHEN n = 1 THEN 'Eintrag' ELSE 'Einträgen' END);
  END IF;
  INSERT INTO uv_gruppen (gruppe) VALUES (ziel);
  IF mitglieder THEN
    INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) SELECT ziel, pos, pcode FROM uv_gruppen_pcode WHERE gruppe = quelle;
    GET DIAGNOSTICS codes = ROW_COUNT;
  END IF;
  nr := uv_protokollieren(kopf, 'anlegen', 'Gruppe ' || ziel, '', uv_liste('g', ARRAY[ziel]));
  IF stufen THEN
    PERFORM 1 FROM uv_programm p WHERE EXISTS (SELECT 1 FROM uv_programm_gruppe s WHERE s.gruppe = quelle
      AND s.programmname = p.programmname AND s.subprogramm = p.subprogramm
      AND s.berechtigungsstufe = p.berechtigungsstufe)
      ORDER BY p.programmname, p.subprogramm, p.berechtigungsstufe FOR UPDATE;
    INSERT INTO uv_programm_gruppe (programmname, subprogramm, berechtigungsstufe, pos, gruppe)
      SELECT s.programmname, s.subprogramm, s.berechtigungsstufe, MAX(s.pos) + 1, ziel FROM uv_programm_gruppe s
       WHERE EXISTS (SELECT 1 FROM uv_programm_gruppe q WHERE q.gruppe = quelle AND q.programmname = s.programmname
                     AND q.subprogramm = s.subprogramm AND q.berechtigungsstufe = s.berechtigungsstufe)
       GROUP BY s.programmname, s.subprogramm, s.berechtigungsstufe;
    GET DIAGNOSTICS m = ROW_COUNT;
    IF m > 0 THEN
      SELECT to_json(array_agg(programmname || '||' || subprogramm || '||' || berechtigungsstufe
                               ORDER BY programmname, subprogramm, berechtigungsstufe, pos))::text
        INTO stufenliste FROM uv_programm_gruppe WHERE gruppe = ziel;
      PERFORM uv_protokollieren(kopf, 'berechtigen', 'Gruppe ' || ziel, '[]', stufenliste, nr);
    END IF;
  END IF;
  RETURN json_build_object('e', json_build_object('mitglieder', codes, 'stufen', m)::text,
                           'v', json_build_array(uv_vorrat_gruppen()))::text;
END $f$)sql"),
        // An employee joins groups: each checked against the members the caller
        // read (in name order, the order every command locks groups in; a group
        // named twice counts with the members given last), the
        // code appended, one entry per group. `gruppen`: [[name, [members]], …].
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_rechte_uebernehmen(kopf json, code text, gruppen json) RETURNS text
LANGUAGE plpgsql AS $f$
DECLARE g record;
BEGIN
  FOR g IN SELECT DISTINCT ON ((x->>0) COLLATE "C") x->>0 AS name, x->1 AS mitglieder
             FROM json_array_elements(gruppen) WITH ORDINALITY a(x, o) ORDER BY (x->>0) COLLATE "C", o DESC LOOP
    PERFORM uv_pruefen('g', ARRAY[g.name], g.mitglieder, 1);
    PERFORM uv_speichern(kopf, 'g', ARRAY[g.name],
      (SELECT to_json(array_agg(v ORDER BY o)) FROM (
         SELECT v, o FROM json_array_elements_text(g.mitglieder) WITH ORDINALITY a(v, o)
         UNION ALL SELECT code, 2147483647) y));
  END LOOP;
  RETURN json_build_object('e', '', 'v', json_build_array())::text;
END $f$)sql"),
        // The commands. Each answers {"e": result, "v": [what the window shows next]}.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_gruppe_speichern(kopf json, g text, liste json, geladen json, pruefen int)
RETURNS text LANGUAGE plpgsql AS $f$
DECLARE neu boolean;
BEGIN
  PERFORM uv_pruefen('g', ARRAY[g], geladen, pruefen);
  neu := uv_anlegen(kopf, 'g', ARRAY[g]);
  PERFORM uv_speichern(kopf, 'g', ARRAY[g], liste);
  RETURN json_build_object('e', CASE WHEN neu THEN '1' ELSE '0' END, 'v', json_build_array(uv_vorrat_gruppen()));
END $f$)sql"),
        // A group gone already: nothing to check or delete; its grants still go.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_gruppe_loeschen(kopf json, g text, geladen json, pruefen int)
RETURNS text LANGUAGE plpgsql AS $f$
DECLARE da boolean; nr bigint := 0;
BEGIN
  da := uv_sperren('g', ARRAY[g]);
  IF da THEN
    PERFORM uv_pruefen('g', ARRAY[g], geladen, pruefen);
    nr := uv_loeschen(kopf, 'g', ARRAY[g]);
  END IF;
  PERFORM uv_entziehen(kopf, g, nr);
  RETURN json_build_object('e', CASE WHEN da THEN '1' ELSE '0' END, 'v', json_build_array(uv_vorrat_gruppen()));
END $f$)sql"),
        // Groups before the level, the order in which every command locks:
        // the groups this save newly grants must exist (locked against a delete)
        // unless the user agreed to grant them all the same.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_stufe_speichern(kopf json, p text, s text, l text, liste json, geladen json,
                                              pruefen int, gruppen_erlaubt boolean) RETURNS text
LANGUAGE plpgsql AS $f$
DECLARE k text[] := ARRAY[p, s, l]; bisher json; fehlend json; neu boolean;
BEGIN
  IF NOT gruppen_erlaubt THEN
    bisher := CASE WHEN pruefen = 1 THEN geladen ELSE uv_liste('s', k)::json END;
    PERFORM 1 FROM uv_gruppen WHERE gruppe IN (SELECT v FROM json_array_elements_text(liste) v
      WHERE v NOT IN (SELECT json_array_elements_text(bisher))) ORDER BY gruppe FOR SHARE;
    SELECT to_json(array_agg(v ORDER BY erst))::text INTO fehlend FROM (
      SELECT v, MIN(o) AS erst FROM json_array_elements_text(liste) WITH ORDINALITY x(v, o)
       WHERE v NOT IN (SELECT json_array_elements_text(bisher)) GROUP BY v) n
     WHERE NOT EXISTS (SELECT 1 FROM uv_gruppen g WHERE g.gruppe = n.v);
    IF fehlend IS NOT NULL THEN
      RAISE EXCEPTION USING ERRCODE = 'KV116', MESSAGE = '<GRUPPE FEHLT> ' || fehlend::text;
    END IF;
  END IF;
  PERFORM uv_pruefen('s', k, geladen, pruefen);
  neu := uv_anlegen(kopf, 's', k);
  PERFORM uv_speichern(kopf, 's', k, liste);
  RETURN json_build_object('e', CASE WHEN neu THEN '1' ELSE '0' END,
    'v', json_build_array(uv_vorrat_programme(), uv_vorrat_subprogramme(p), uv_vorrat_stufen(p, s),
                          uv_vorrat_stufe(k)));
END $f$)sql"),
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_stufe_loeschen(kopf json, p text, s text, l text, geladen json, pruefen int)
RETURNS text LANGUAGE plpgsql AS $f$
DECLARE k text[] := ARRAY[p, s, l]; da boolean;
BEGIN
  da := uv_sperren('s', k);
  IF da THEN
    PERFORM uv_pruefen('s', k, geladen, pruefen);
    PERFORM uv_loeschen(kopf, 's', k);
  END IF;
  RETURN json_build_object('e', CASE WHEN da THEN '1' ELSE '0' END,
    'v', json_build_array(uv_vorrat_subprogramme(p)));
END $f$)sql"),
        // Every level of a program (s empty) or of one sub-program, locked in
        // key order; the entry holds each level with its groups.
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION uv_stufen_loeschen(kopf json, p text, s text) RETURNS text LANGUAGE plpgsql AS $f$
DECLARE inhalt text; n integer;
BEGIN
  PERFORM 1 FROM uv_programm WHERE programmname = p AND (s = '' OR subprogramm = s)
    ORDER BY programmname, subprogramm, berechtigungsstufe FOR UPDATE;
  IF kopf IS NOT NULL THEN
    SELECT '{' || COALESCE(string_agg(to_json(id)::text || ':' || werte, ',' ORDER BY id COLLATE "C"), '') || '}'
      INTO inhalt FROM (
        SELECT x.programmname || '||' || x.subprogramm || '||' || x.berechtigungsstufe AS id,
               COALESCE(to_json(array_agg(g.gruppe ORDER BY g.pos) FILTER (WHERE g.pos IS NOT NULL))::text, '[]') AS werte
          FROM uv_programm x LEFT JOIN uv_programm_gruppe g ON g.programmname = x.programmname
           AND g.subprogramm = x.subprogramm AND g.berechtigungsstufe = x.berechtigungsstufe
         WHERE x.programmname = p AND (s = '' OR x.subprogramm = s)
         GROUP BY x.programmname, x.subprogramm, x.berechtigungsstufe) y;
  END IF;
  DELETE FROM uv_programm_gruppe WHERE programmname = p AND (s = '' OR subprogramm = s);
  DELETE FROM uv_programm WHERE programmname = p AND (s = '' OR subprogramm = s);
  GET DIAGNOSTICS n = ROW_COUNT;
  IF n > 0 THEN
    PERFORM uv_protokollieren(kopf, 'löschen',
      CASE WHEN s = '' THEN 'Programm ' || p ELSE 'Unterprogramm ' || p || '||' || s END, inhalt, '{}');
  END IF;
  RETURN json_build_object('e', n::text, 'v', json_build_array(uv_vorrat_programme()));
END $f$)sql"),
    };
}

} // namespace Schema
