-- A record of either kind ('g' group, 's' level) named by its key parts:
-- reading its list, locking, checking what the caller knows, storing, deleting.
-- Errors carry SQLSTATE "KV" and the client's error number.

-- The values of a JSON list in byte order: lists compared as multisets.
CREATE OR REPLACE FUNCTION uv_menge(werte json) RETURNS text[] LANGUAGE sql AS $f$
  SELECT COALESCE(array_agg(v COLLATE "C" ORDER BY v COLLATE "C"), '{}') FROM json_array_elements_text(werte) v
$f$;

CREATE OR REPLACE FUNCTION uv_objektname(art text, k text[]) RETURNS text LANGUAGE sql AS $f$
  SELECT CASE art WHEN 'g' THEN 'Gruppe ' ELSE 'Stufe ' END || array_to_string(k, '||')
$f$;

-- The record's list as a JSON text, in its order.
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
END $f$;

-- A record that is not there has no row to lock: two creators take turns on
-- its name. Every command takes it before the record's row.
CREATE OR REPLACE FUNCTION uv_namenssperre(art text, k text[]) RETURNS void LANGUAGE sql AS $f$
  SELECT pg_catalog.pg_advisory_xact_lock(pg_catalog.hashtextextended(
    CASE art WHEN 'g' THEN 'uv_gruppen|' ELSE 'uv_programm|' END || array_to_string(k, '||'), 0))
$f$;

-- Locks the record's row; whether it is there.
CREATE OR REPLACE FUNCTION uv_sperren(art text, k text[]) RETURNS boolean LANGUAGE plpgsql AS $f$
BEGIN
  IF art = 'g' THEN
    PERFORM 1 FROM uv_gruppen WHERE gruppe = k[1] FOR UPDATE;
  ELSE
    PERFORM 1 FROM uv_programm WHERE programmname = k[1] AND subprogramm = k[2] AND berechtigungsstufe = k[3]
      FOR UPDATE;
  END IF;
  RETURN FOUND;
END $f$;

-- Is the record still as the caller knows it? pruefen: 0 not asked,
-- 1 its list `geladen`, 2 no record.
CREATE OR REPLACE FUNCTION uv_pruefen(art text, k text[], geladen json, pruefen int) RETURNS void
LANGUAGE plpgsql AS $f$
DECLARE da boolean; n int; o text := uv_objektname(art, k);
BEGIN
  IF pruefen = 0 THEN RETURN; END IF;
  IF pruefen = 2 THEN PERFORM uv_namenssperre(art, k); END IF;
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
END $f$;

-- Creates the record when it is missing; whether it did. uv_speichern logs it.
CREATE OR REPLACE FUNCTION uv_anlegen(art text, k text[]) RETURNS boolean LANGUAGE plpgsql AS $f$
BEGIN
  IF art = 'g' THEN
    INSERT INTO uv_gruppen (gruppe) VALUES (k[1]) ON CONFLICT DO NOTHING;
  ELSE
    INSERT INTO uv_programm (programmname, subprogramm, berechtigungsstufe) VALUES (k[1], k[2], k[3])
      ON CONFLICT DO NOTHING;
  END IF;
  RETURN FOUND;
END $f$;

-- Replaces the list. A group's members are shown sorted: the same values in
-- another order store and log nothing. A level keeps the order it was given.
-- `neu`: the record was just created; its one entry is the creation with the list.
-- What the new list grants (members who join a group, groups a level
-- gains) is checked against the rules of incompatible rights.
CREATE OR REPLACE FUNCTION uv_speichern(kopf json, art text, k text[], liste json, neu boolean DEFAULT false)
RETURNS void LANGUAGE plpgsql AS $f$
DECLARE vorher text; hinzu text[]; codes text[] := '{}'; regeln text[] := '{}'; verstoesse text[]; nr bigint;
        beitritt json; beitritt_da boolean := false;
BEGIN
  IF NOT uv_sperren(art, k) THEN
    RAISE EXCEPTION USING ERRCODE = 'KV105', MESSAGE = format('<LOADOBJ> %s: kein Objekt mit der Id %s',
      CASE art WHEN 'g' THEN 'UserVerwaltung.Gruppen' ELSE 'UserVerwaltung.Programm' END, array_to_string(k, '||'));
  END IF;
  vorher := uv_liste(art, k);
  IF NOT neu AND
     (CASE art WHEN 'g' THEN uv_menge(vorher::json) = uv_menge(liste) ELSE vorher::jsonb = liste::jsonb END) THEN
    RETURN;
  END IF;
  hinzu := ARRAY(SELECT json_array_elements_text(liste) EXCEPT SELECT json_array_elements_text(vorher::json));
  IF cardinality(hinzu) > 0 THEN
    PERFORM uv_regeln_sperren(false);
    IF art = 'g' THEN
      -- Only members join: what they break is known before they do, and a
      -- refusal costs no write.
      IF EXISTS (SELECT 1 FROM uv_regel) THEN
        -- The log's lock, which every change holds until it commits, before
        -- reading: a grant to the same employee elsewhere (another group, a
        -- level) is then either committed and seen here, or waits for this one.
        PERFORM pg_catalog.pg_advisory_xact_lock(4711, 0);
        SELECT json_agg(json_build_array(x.pcode, x.regel, x.seite1, x.seite2) ORDER BY x.pcode, x.regel) INTO beitritt
          FROM uv_beitritt_verstoesse(k[1], hinzu) x
         WHERE NOT EXISTS (SELECT 1 FROM uv_ausnahme a WHERE a.pcode = x.pcode AND a.regel = x.regel);
        beitritt_da := beitritt IS NOT NULL;
        IF beitritt_da AND COALESCE(current_setting('korval.ausnahme', true), '') = '' THEN
          PERFORM uv_unvereinbar_melden(kopf, beitritt, 0);
        END IF;
      END IF;
    ELSE
      regeln := uv_regeln_fuer('{}', k);
      IF cardinality(regeln) > 0 THEN
        codes := ARRAY(SELECT DISTINCT m.pcode FROM uv_gruppen_pcode m WHERE m.gruppe = ANY (hinzu));
      END IF;
    END IF;
    IF cardinality(regeln) > 0 AND cardinality(codes) > 0 THEN
      verstoesse := uv_verstosschluessel(codes, regeln);
    END IF;
  END IF;
  IF art = 'g' THEN
    DELETE FROM uv_gruppen_pcode WHERE gruppe = k[1];
    INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode)
      SELECT k[1], n, v FROM json_array_elements_text(liste) WITH ORDINALITY x(v, n);
  ELSE
    DELETE FROM uv_programm_gruppe WHERE programmname = k[1] AND subprogramm = k[2] AND berechtigungsstufe = k[3];
    INSERT INTO uv_programm_gruppe (programmname, subprogramm, berechtigungsstufe, pos, gruppe)
      SELECT k[1], k[2], k[3], n, v FROM json_array_elements_text(liste) WITH ORDINALITY x(v, n);
  END IF;
  IF neu THEN
    nr := uv_protokollieren(kopf, 'anlegen', uv_objektname(art, k), '', liste::text);
  ELSE
    nr := uv_protokollieren(kopf, 'speichern', uv_objektname(art, k), vorher, liste::text);
  END IF;
  -- A member that left takes its end date along.
  IF art = 'g' THEN PERFORM uv_befristungen_bereinigen(kopf, k, nr); END IF;
  IF verstoesse IS NOT NULL THEN
    PERFORM uv_unvereinbar_pruefen(kopf, codes, regeln, verstoesse, nr);
  END IF;
  IF beitritt_da THEN
    PERFORM uv_unvereinbar_melden(kopf, beitritt, nr);
  END IF;
END $f$;

-- Deletes a locked record with its list; the entry's number.
CREATE OR REPLACE FUNCTION uv_loeschen(kopf json, art text, k text[]) RETURNS bigint LANGUAGE plpgsql AS $f$
DECLARE vorher text := uv_liste(art, k); nr bigint;
BEGIN
  IF art = 'g' THEN
    DELETE FROM uv_gruppen_pcode WHERE gruppe = k[1];
    DELETE FROM uv_gruppen WHERE gruppe = k[1];
  ELSE
    DELETE FROM uv_programm_gruppe WHERE programmname = k[1] AND subprogramm = k[2] AND berechtigungsstufe = k[3];
    DELETE FROM uv_programm WHERE programmname = k[1] AND subprogramm = k[2] AND berechtigungsstufe = k[3];
  END IF;
  nr := uv_protokollieren(kopf, 'löschen', uv_objektname(art, k), vorher, '');
  IF art = 'g' THEN PERFORM uv_befristungen_bereinigen(kopf, k, nr); END IF;
  RETURN nr;
END $f$;

-- The group leaves every level; the entry names each as often as it held the group.
CREATE OR REPLACE FUNCTION uv_entziehen(kopf json, g text, bezug bigint) RETURNS integer LANGUAGE plpgsql AS $f$
DECLARE n integer; stufen text;
BEGIN
  -- The group's row holds off every save that would grant it (each locks the
  -- groups it grants before its level); the levels need no lock: the entry
  -- names exactly the grants the one statement took.
  PERFORM 1 FROM uv_gruppen WHERE gruppe = g FOR UPDATE;
  WITH weg AS (DELETE FROM uv_programm_gruppe WHERE gruppe = g
               RETURNING programmname, subprogramm, berechtigungsstufe, pos)
  SELECT count(*), to_json(array_agg(programmname || '||' || subprogramm || '||' || berechtigungsstufe
                                     ORDER BY programmname, subprogramm, berechtigungsstufe, pos))::text
    INTO n, stufen FROM weg;
  IF n > 0 THEN
    PERFORM uv_protokollieren(kopf, 'aus Stufen entfernen', 'Gruppe ' || g, stufen, '[]', bezug);
  END IF;
  RETURN n;
END $f$;
