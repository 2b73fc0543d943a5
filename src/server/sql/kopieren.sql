-- Copying a group and taking over an employee's rights.

-- A new group with the source's members in their order and a grant on
-- every level the source holds (appended, once per level); logged as its
-- creation and one entry of its grants tied to it.
CREATE OR REPLACE FUNCTION uv_gruppe_kopieren(rechner text, quelle text, ziel text, mitglieder boolean, stufen boolean)
RETURNS text LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner); n integer; nr bigint; codes integer := 0; m integer := 0; stufenliste text;
BEGIN
  PERFORM pg_catalog.pg_advisory_xact_lock(pg_catalog.hashtextextended('uv_gruppen|' || ziel, 0));
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
    -- The copy's members are as temporary as the source's, their dates set by whoever copies.
    INSERT INTO uv_befristung (gruppe, pcode, bis, grund, firma, wer, wann)
      SELECT ziel, pcode, bis, grund, kopf->>0, kopf->>2,
             to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"')
        FROM uv_befristung WHERE gruppe = quelle;
  END IF;
  nr := uv_protokollieren(kopf, 'anlegen', 'Gruppe ' || ziel, '', uv_liste('g', ARRAY[ziel]));
  PERFORM uv_protokollieren_alle(kopf, 'befristen', array_agg('Befristung ' || ziel || '||' || b.pcode ORDER BY b.pcode),
            array_fill(''::text, ARRAY[count(*)::int]),
            array_agg(uv_befristungsfelder(ziel, b.pcode) ORDER BY b.pcode), nr)
    FROM uv_befristung b WHERE b.gruppe = ziel HAVING count(*) > 0;
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
END $f$;

-- An employee joins groups: each checked against the members the caller
-- read (in name order, the order every command locks groups in; a group
-- named twice counts with the members given last), the
-- code appended, one entry per group. `gruppen`: [[name, [members]], …].
CREATE OR REPLACE FUNCTION uv_rechte_uebernehmen(rechner text, code text, gruppen json) RETURNS text
LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner); g record;
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
END $f$;
