-- End dates of memberships: a member leaves the group by itself once its
-- date has passed (the day itself still counts). Dates as YYYY-MM-DD.

-- A membership's end date as the log shows it, '' when it has none.
CREATE OR REPLACE FUNCTION uv_befristungsfelder(g text, code text) RETURNS text LANGUAGE sql AS $f$
  SELECT COALESCE((SELECT '{"bis":' || to_json(b.bis)::text || ',"grund":' || to_json(b.grund)::text || '}'
                     FROM uv_befristung b WHERE b.gruppe = g AND b.pcode = code), '')
$f$;

-- A date as people write it (one in another form as it is stored).
CREATE OR REPLACE FUNCTION uv_datum_text(bis text) RETURNS text LANGUAGE sql IMMUTABLE AS $f$
  SELECT CASE WHEN bis ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$' THEN to_char(to_date(bis, 'YYYY-MM-DD'), 'DD.MM.YYYY')
         ELSE bis END
$f$;

-- An end date that comes back, with the warning when its day is past.
CREATE OR REPLACE FUNCTION uv_befristung_text(bis text, grund text) RETURNS text LANGUAGE sql STABLE AS $f$
  SELECT 'befristet bis ' || uv_datum_text(bis) || CASE WHEN grund <> '' THEN ' (' || grund || ')' ELSE '' END
         || CASE WHEN bis < to_char(current_date, 'YYYY-MM-DD') THEN ' – das Datum ist vorbei: die nächste Anmeldung '
              'eines Verwalters oder "korval-db ablauf" entfernt die Mitgliedschaft' ELSE '' END
$f$;

-- The end dates of the groups `gruppen` whose membership is gone go, each
-- logged "mit entfernt" and tied to entry `nr` of the change that removed the
-- member: undoing that change brings the date back with the member. Without
-- `nr` (`gruppen` NULL: of every group) they are dates another program left
-- behind, logged "ohne Mitglied entfernt".
CREATE OR REPLACE FUNCTION uv_befristungen_bereinigen(kopf json, gruppen text[], nr bigint) RETURNS void
LANGUAGE plpgsql AS $f$
DECLARE n bigint;
BEGIN
  WITH weg AS (DELETE FROM uv_befristung b WHERE (gruppen IS NULL OR b.gruppe = ANY (gruppen)) AND NOT EXISTS (
                 SELECT 1 FROM uv_gruppen_pcode m WHERE m.gruppe = b.gruppe AND m.pcode = b.pcode)
               RETURNING b.gruppe, b.pcode, b.bis, b.grund)
  SELECT uv_protokollieren_alle(kopf, CASE WHEN nr IS NULL THEN 'ohne Mitglied entfernt' ELSE 'mit entfernt' END,
           array_agg('Befristung ' || w.gruppe || '||' || w.pcode ORDER BY w.gruppe, w.pcode),
           array_agg('{"bis":' || to_json(w.bis)::text || ',"grund":' || to_json(w.grund)::text || '}'
                     ORDER BY w.gruppe, w.pcode),
           array_fill(''::text, ARRAY[count(*)::int]), COALESCE(nr, 0))
    INTO n FROM weg w HAVING count(*) > 0;
END $f$;

-- Undoing entry `eintrag`: the end dates its change removed with their
-- members come back where the member is back and has no date now; each is
-- logged "befristen", tied to the undo's entry `nr`.
CREATE OR REPLACE FUNCTION uv_befristungen_zurueck(kopf json, eintrag bigint, nr bigint) RETURNS void
LANGUAGE plpgsql AS $f$
DECLARE n bigint;
BEGIN
  WITH z AS (SELECT DISTINCT ON (p.objekt) string_to_array(substr(p.objekt, 12), '||') AS k, p.vorher::jsonb AS f
               FROM uv_protokoll p WHERE p.bezug = eintrag AND p.befehl = 'mit entfernt'
              ORDER BY p.objekt, p.nr DESC),
  neu AS (INSERT INTO uv_befristung (gruppe, pcode, bis, grund, firma, wer, wann)
          SELECT z.k[1], z.k[2], z.f->>'bis', z.f->>'grund', COALESCE(kopf->>0, ''), COALESCE(kopf->>2, ''),
                 to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"') FROM z
           WHERE EXISTS (SELECT 1 FROM uv_gruppen_pcode m WHERE m.gruppe = z.k[1] AND m.pcode = z.k[2])
          ON CONFLICT (gruppe, pcode) DO NOTHING
          RETURNING gruppe, pcode, bis, grund)
  SELECT uv_protokollieren_alle(kopf, 'befristen',
           array_agg('Befristung ' || w.gruppe || '||' || w.pcode ORDER BY w.gruppe, w.pcode),
           array_fill(''::text, ARRAY[count(*)::int]),
           array_agg('{"bis":' || to_json(w.bis)::text || ',"grund":' || to_json(w.grund)::text || '}'
                     ORDER BY w.gruppe, w.pcode), nr)
    INTO n FROM neu w HAVING count(*) > 0;
END $f$;

-- Sets (`bis` a date) or removes (`bis` '') a member's end date under the
-- group's lock, the one every save of the group takes. '1' when it changed.
CREATE OR REPLACE FUNCTION uv_befristen(rechner text, g text, code text, bis text, grund text) RETURNS text
LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner); vorher text; nachher text;
BEGIN
  IF bis <> '' AND (bis !~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$'
                    OR to_char(to_date(bis, 'YYYY-MM-DD'), 'YYYY-MM-DD') <> bis) THEN
    RAISE EXCEPTION USING ERRCODE = 'KV109', MESSAGE = format('<BEFRISTUNG> "%s" ist kein Datum', bis);
  END IF;
  PERFORM 1 FROM uv_gruppen WHERE gruppe = g FOR UPDATE;
  IF NOT FOUND THEN
    RAISE EXCEPTION USING ERRCODE = 'KV109', MESSAGE = format('<BEFRISTUNG> die Gruppe %s besteht nicht', g);
  END IF;
  IF bis <> '' AND NOT EXISTS (SELECT 1 FROM uv_gruppen_pcode WHERE gruppe = g AND pcode = code) THEN
    RAISE EXCEPTION USING ERRCODE = 'KV109',
      MESSAGE = format('<BEFRISTUNG> %s ist kein Mitglied der Gruppe %s', code, g);
  END IF;
  vorher := uv_befristungsfelder(g, code);
  IF bis = '' THEN
    DELETE FROM uv_befristung WHERE gruppe = g AND pcode = code;
  ELSE
    INSERT INTO uv_befristung (gruppe, pcode, bis, grund, firma, wer, wann)
    VALUES (g, code, bis, grund, kopf->>0, kopf->>2,
            to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'))
    ON CONFLICT (gruppe, pcode) DO UPDATE SET bis = excluded.bis, grund = excluded.grund, firma = excluded.firma,
      wer = excluded.wer, wann = excluded.wann;
  END IF;
  nachher := uv_befristungsfelder(g, code);
  IF nachher <> vorher THEN
    PERFORM uv_protokollieren(kopf, 'befristen', 'Befristung ' || g || '||' || code, vorher, nachher);
  END IF;
  RETURN json_build_object('e', CASE WHEN nachher <> vorher THEN '1' ELSE '0' END, 'v', json_build_array());
END $f$;

-- Every membership whose date lies before `heute` ends. Per group one entry
-- "abgelaufen" of its member list (undo gives the members back), and per
-- membership one tied to it that names the date and the reason. Answers the
-- ended ones as [[group, code, date, reason], …].
CREATE OR REPLACE FUNCTION uv_ablauf(rechner text, heute text) RETURNS text LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner); r record; vorher text; nr bigint; erledigt jsonb;
BEGIN
  -- The groups in the order every command locks them.
  PERFORM 1 FROM uv_gruppen WHERE gruppe IN (SELECT b.gruppe FROM uv_befristung b WHERE b.bis < heute)
    ORDER BY gruppe FOR UPDATE;
  -- A date left without its membership (written by another program) goes;
  -- one that is not a date (YYYY-MM-DD) is never due.
  PERFORM uv_befristungen_bereinigen(kopf, NULL, NULL);
  SELECT COALESCE(jsonb_agg(jsonb_build_array(b.gruppe, b.pcode, b.bis, b.grund) ORDER BY b.gruppe COLLATE "C", b.pcode),
                  '[]')
    INTO erledigt FROM uv_befristung b WHERE b.bis < heute AND b.bis ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$';
  FOR r IN SELECT b.gruppe AS name, jsonb_agg(jsonb_build_array(b.pcode, b.bis, b.grund) ORDER BY b.pcode) AS faellig
             FROM uv_befristung b WHERE b.bis < heute AND b.bis ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$'
            GROUP BY b.gruppe ORDER BY b.gruppe COLLATE "C" LOOP
    vorher := uv_liste('g', ARRAY[r.name]);
    DELETE FROM uv_gruppen_pcode WHERE gruppe = r.name
       AND pcode IN (SELECT x->>0 FROM jsonb_array_elements(r.faellig) x);
    DELETE FROM uv_befristung WHERE gruppe = r.name AND pcode IN (SELECT x->>0 FROM jsonb_array_elements(r.faellig) x);
    nr := uv_protokollieren(kopf, 'abgelaufen', 'Gruppe ' || r.name, vorher, uv_liste('g', ARRAY[r.name]));
    PERFORM uv_protokollieren_alle(kopf, 'abgelaufen', array_agg('Befristung ' || r.name || '||' || (x->>0) ORDER BY i),
              array_agg('{"bis":' || (x->1)::text || ',"grund":' || (x->2)::text || '}' ORDER BY i),
              array_fill(''::text, ARRAY[count(*)::int]), nr)
       FROM jsonb_array_elements(r.faellig) WITH ORDINALITY AS e(x, i);
  END LOOP;
  RETURN json_build_object('e', erledigt::text, 'v', json_build_array());
END $f$;
