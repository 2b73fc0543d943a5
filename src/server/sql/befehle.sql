-- The main window's commands, one call each. Each answers
-- {"e": result, "v": [what the window shows next]}.

CREATE OR REPLACE FUNCTION uv_gruppe_speichern(rechner text, g text, liste json, geladen json, pruefen int)
RETURNS text LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner); neu boolean;
BEGIN
  PERFORM uv_pruefen('g', ARRAY[g], geladen, pruefen);
  neu := uv_anlegen('g', ARRAY[g]);
  PERFORM uv_speichern(kopf, 'g', ARRAY[g], liste, neu);
  RETURN json_build_object('e', CASE WHEN neu THEN '1' ELSE '0' END, 'v', json_build_array(uv_vorrat_gruppen()));
END $f$;

-- A group gone already: nothing to check or delete; its grants still go.
CREATE OR REPLACE FUNCTION uv_gruppe_loeschen(rechner text, g text, geladen json, pruefen int)
RETURNS text LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner); da boolean; nr bigint := 0;
BEGIN
  -- The name before the row, as every command locks.
  IF pruefen = 2 THEN PERFORM uv_namenssperre('g', ARRAY[g]); END IF;
  da := uv_sperren('g', ARRAY[g]);
  IF da THEN
    PERFORM uv_pruefen('g', ARRAY[g], geladen, pruefen);
    nr := uv_loeschen(kopf, 'g', ARRAY[g]);
  END IF;
  PERFORM uv_entziehen(kopf, g, nr);
  RETURN json_build_object('e', CASE WHEN da THEN '1' ELSE '0' END, 'v', json_build_array(uv_vorrat_gruppen()));
END $f$;

-- Groups before the level, the order in which every command locks: every
-- group it grants is locked against a delete (which then locks no level);
-- those it newly grants must exist unless the user agreed to grant them all the same.
CREATE OR REPLACE FUNCTION uv_stufe_speichern(rechner text, p text, s text, l text, liste json, geladen json,
                                              pruefen int, gruppen_erlaubt boolean) RETURNS text
LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner); k text[] := ARRAY[p, s, l]; bisher json; fehlend json; neu boolean;
BEGIN
  PERFORM 1 FROM uv_gruppen WHERE gruppe IN (SELECT json_array_elements_text(liste)) ORDER BY gruppe FOR SHARE;
  IF NOT gruppen_erlaubt THEN
    bisher := CASE WHEN pruefen = 1 THEN geladen ELSE uv_liste('s', k)::json END;
    SELECT to_json(array_agg(v ORDER BY erst))::text INTO fehlend FROM (
      SELECT v, MIN(o) AS erst FROM json_array_elements_text(liste) WITH ORDINALITY x(v, o)
       WHERE v NOT IN (SELECT json_array_elements_text(bisher)) GROUP BY v) n
     WHERE NOT EXISTS (SELECT 1 FROM uv_gruppen g WHERE g.gruppe = n.v);
    IF fehlend IS NOT NULL THEN
      RAISE EXCEPTION USING ERRCODE = 'KV116', MESSAGE = '<GRUPPE FEHLT> ' || fehlend::text;
    END IF;
  END IF;
  PERFORM uv_pruefen('s', k, geladen, pruefen);
  neu := uv_anlegen('s', k);
  PERFORM uv_speichern(kopf, 's', k, liste, neu);
  RETURN json_build_object('e', CASE WHEN neu THEN '1' ELSE '0' END,
    'v', json_build_array(uv_vorrat_programme(), uv_vorrat_subprogramme(p), uv_vorrat_stufen(p, s),
                          uv_vorrat_stufe(k)));
END $f$;

CREATE OR REPLACE FUNCTION uv_stufe_loeschen(rechner text, p text, s text, l text, geladen json, pruefen int)
RETURNS text LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner); k text[] := ARRAY[p, s, l]; da boolean;
BEGIN
  IF pruefen = 2 THEN PERFORM uv_namenssperre('s', k); END IF;
  da := uv_sperren('s', k);
  IF da THEN
    PERFORM uv_pruefen('s', k, geladen, pruefen);
    PERFORM uv_loeschen(kopf, 's', k);
  END IF;
  RETURN json_build_object('e', CASE WHEN da THEN '1' ELSE '0' END,
    'v', json_build_array(uv_vorrat_subprogramme(p)));
END $f$;

-- Every level of a program (s empty) or of one sub-program, locked in
-- key order; the entry holds each level with its groups.
CREATE OR REPLACE FUNCTION uv_stufen_loeschen(rechner text, p text, s text) RETURNS text LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner); inhalt text; n integer;
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
END $f$;

-- An entry of the connection list as the log shows it: each field by its
-- property name, in the names' byte order; '' when there is none.
CREATE OR REPLACE FUNCTION uv_verbindungsfelder(id int) RETURNS text LANGUAGE sql AS $f$
  SELECT COALESCE((SELECT '{' || string_agg(to_json(x.n)::text || ':' || to_json(x.v)::text, ','
                                            ORDER BY x.n COLLATE "C") || '}'
    FROM kv_kassasw k, LATERAL (VALUES ('Bezeichnung', k.bezeichnung), ('FIL', k.fil), ('Firma', k.firma),
      ('NAMESPACE', k.namespace), ('PORT', k.port), ('Type', k.type::text), ('ip', k.ip),
      ('sys_ID', k.sys_id::text)) x(n, v)
   WHERE k.sys_id = id), '')
$f$;

-- An entry of the connection list created, changed (`felder`: column →
-- value, the columns given only) or deleted (`felder` NULL), with its log entry.
CREATE OR REPLACE FUNCTION uv_verbindung(rechner text, id int, neu boolean, felder json) RETURNS text
LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf_frei(rechner); f jsonb := felder::jsonb; vorher text; nachher text; o text := 'Verbindung ' || id;
BEGIN
  PERFORM 1 FROM kv_kassasw WHERE sys_id = id FOR UPDATE;
  vorher := uv_verbindungsfelder(id);
  IF f IS NULL THEN
    DELETE FROM kv_kassasw WHERE sys_id = id;
    IF NOT FOUND THEN
      RAISE EXCEPTION USING ERRCODE = 'KV105', MESSAGE = '<DELETE> KV.KassaSW: kein Objekt mit der Id ' || id;
    END IF;
    PERFORM uv_protokollieren(kopf, 'löschen', o, vorher, '');
    RETURN json_build_object('e', '1', 'v', json_build_array());
  END IF;
  IF neu THEN
    INSERT INTO kv_kassasw (sys_id, firma, fil, ip, port, namespace, type, bezeichnung)
    VALUES (id, COALESCE(f->>'firma', ''), COALESCE(f->>'fil', ''), COALESCE(f->>'ip', ''), COALESCE(f->>'port', ''),
            COALESCE(f->>'namespace', ''), COALESCE((f->>'type')::int, 0), COALESCE(f->>'bezeichnung', ''));
  ELSE
    UPDATE kv_kassasw SET firma = COALESCE(f->>'firma', firma), fil = COALESCE(f->>'fil', fil),
           ip = COALESCE(f->>'ip', ip), port = COALESCE(f->>'port', port),
           namespace = COALESCE(f->>'namespace', namespace), type = COALESCE((f->>'type')::int, type),
           bezeichnung = COALESCE(f->>'bezeichnung', bezeichnung)
     WHERE sys_id = id;
    IF NOT FOUND THEN
      RAISE EXCEPTION USING ERRCODE = 'KV105', MESSAGE = '<LOADOBJ> KV.KassaSW: kein Objekt mit der Id ' || id;
    END IF;
  END IF;
  nachher := uv_verbindungsfelder(id);
  IF nachher <> vorher THEN
    PERFORM uv_protokollieren(kopf, CASE WHEN neu THEN 'anlegen' ELSE 'speichern' END, o, vorher, nachher);
  END IF;
  RETURN json_build_object('e', '1', 'v', json_build_array());
END $f$;

-- The group taken from every level that grants it (part of its delete, the
-- entry `bezug`, when there is one).
CREATE OR REPLACE FUNCTION uv_gruppe_entziehen(rechner text, g text, bezug bigint) RETURNS text
LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner);
BEGIN
  RETURN json_build_object('e', uv_entziehen(kopf, g, bezug)::text, 'v', json_build_array());
END $f$;

-- The older class methods check under lock in the caller's transaction; a
-- role that may only read cannot lock rows itself. pruefen as uv_pruefen.
CREATE OR REPLACE FUNCTION uv_liste_pruefen(rechner text, art text, k json, geladen json, pruefen int) RETURNS text
LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner);
BEGIN
  PERFORM uv_pruefen(art, ARRAY(SELECT json_array_elements_text(k)), geladen, pruefen);
  RETURN json_build_object('e', '', 'v', json_build_array());
END $f$;

-- Of the groups named, those there, locked against a delete until the caller's transaction ends.
CREATE OR REPLACE FUNCTION uv_gruppen_sperren(rechner text, gruppen json) RETURNS text
LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner); da json;
BEGIN
  SELECT COALESCE(json_agg(gruppe ORDER BY gruppe), '[]') INTO da FROM (SELECT gruppe FROM uv_gruppen
   WHERE gruppe IN (SELECT json_array_elements_text(gruppen)) ORDER BY gruppe FOR SHARE) g;
  RETURN json_build_object('e', da::text, 'v', json_build_array());
END $f$;
