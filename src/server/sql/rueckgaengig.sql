-- Undo from the change log in one call: an entry's own difference is taken
-- back, later changes stay. The plan is computed and applied under the same
-- locks as a save; the caller confirms the plan it was shown (its hash), so a
-- change in between makes the plan be shown again. The undo is an entry of its own.
--
-- While the plan is made, what each record's change did is a JSON object by
-- record name: created or deleted, values added and removed (how many times),
-- for removed values how many the record held after the change and their order.

CREATE OR REPLACE FUNCTION uv_rz_leer() RETURNS jsonb LANGUAGE sql IMMUTABLE AS $f$
  SELECT '{"angelegt": false, "geloescht": false, "plus": {}, "minus": {}, "danach": {}, "reihenfolge": []}'::jsonb
$f$;

-- What a change from state `vorher` to `nachher` did ('' is no record).
CREATE OR REPLACE FUNCTION uv_rz_delta(vorher text, nachher text) RETURNS jsonb LANGUAGE sql AS $f$
  WITH vl AS (SELECT w, o FROM json_array_elements_text(COALESCE(NULLIF(vorher, ''), '[]')::json) WITH ORDINALITY x(w, o)),
       v AS (SELECT w, count(*)::int AS n, min(o) AS erst FROM vl GROUP BY w),
       n AS (SELECT w, count(*)::int AS n FROM json_array_elements_text(COALESCE(NULLIF(nachher, ''), '[]')::json) w
              GROUP BY w),
       weg AS (SELECT v.w, v.n - COALESCE(n.n, 0) AS n, COALESCE(n.n, 0) AS danach, v.erst FROM v LEFT JOIN n USING (w)
                WHERE v.n > COALESCE(n.n, 0))
  SELECT jsonb_build_object(
    'angelegt', vorher = '' AND nachher <> '',
    'geloescht', vorher <> '' AND nachher = '',
    'plus', COALESCE((SELECT jsonb_object_agg(n.w, n.n - COALESCE(v.n, 0)) FROM n LEFT JOIN v USING (w)
                       WHERE n.n > COALESCE(v.n, 0)), '{}'),
    'minus', COALESCE((SELECT jsonb_object_agg(w, n) FROM weg), '{}'),
    'danach', COALESCE((SELECT jsonb_object_agg(w, danach) FROM weg), '{}'),
    'reihenfolge', COALESCE((SELECT jsonb_agg(w ORDER BY erst) FROM weg), '[]'))
$f$;

-- Group `g` taken from (`weg`) or given to the levels `stufen` (each once per
-- time it is named), merged into the deltas `d` in one statement: a group's
-- delete names thousands of levels.
CREATE OR REPLACE FUNCTION uv_rz_stufen(d jsonb, g text, stufen json, weg boolean) RETURNS jsonb LANGUAGE sql AS $f$
  SELECT d || COALESCE(jsonb_object_agg(o, CASE WHEN weg THEN
      x || jsonb_build_object('minus', (x->'minus') || jsonb_build_object(g, COALESCE((x->'minus'->>g)::int, 0) + n),
                              'danach', (x->'danach') || jsonb_build_object(g, 0),
                              'reihenfolge', CASE WHEN (x->'reihenfolge') ? g THEN x->'reihenfolge'
                                                  ELSE (x->'reihenfolge') || to_jsonb(g) END)
    ELSE x || jsonb_build_object('plus', (x->'plus') || jsonb_build_object(g, COALESCE((x->'plus'->>g)::int, 0) + n))
    END), '{}')
  FROM (SELECT o, count(*)::int AS n, COALESCE(d->o, uv_rz_leer()) AS x
          FROM (SELECT 'Stufe ' || s AS o FROM json_array_elements_text(stufen) s) y GROUP BY o) z
$f$;

-- The deltas of one log entry, merged into `d`.
CREATE OR REPLACE FUNCTION uv_rz_entnehmen(d jsonb, befehl text, objekt text, vorher text, nachher text)
RETURNS jsonb LANGUAGE plpgsql AS $f$
DECLARE s jsonb; o text; x jsonb;
BEGIN
  IF befehl = 'aus Stufen entfernen' THEN RETURN uv_rz_stufen(d, substr(objekt, 8), vorher::json, true); END IF;
  -- A copied group's grants: the levels that gained the group.
  IF befehl = 'berechtigen' THEN RETURN uv_rz_stufen(d, substr(objekt, 8), nachher::json, false); END IF;
  IF befehl = 'rückgängig' THEN
    -- An undo: the plan it applied, step by step.
    FOR s IN SELECT jsonb_array_elements(nachher::jsonb) LOOP
      o := s->>'objekt';
      x := COALESCE(d->o, uv_rz_leer()) || jsonb_build_object('angelegt', COALESCE((s->>'anlegen')::boolean, false),
                                                           'geloescht', COALESCE((s->>'loeschen')::boolean, false));
      SELECT jsonb_set(d, ARRAY[o], x || jsonb_build_object(
               'plus', (x->'plus') || COALESCE((SELECT jsonb_object_agg(w, COALESCE((x->'plus'->>w)::int, 0) + n)
                                                  FROM (SELECT w, count(*)::int AS n FROM
                                                        jsonb_array_elements_text(COALESCE(s->'hinzu', '[]')) w
                                                        GROUP BY w) h), '{}'),
               'minus', (x->'minus') || COALESCE((SELECT jsonb_object_agg(w, COALESCE((x->'minus'->>w)::int, 0) + n)
                                                    FROM (SELECT w, count(*)::int AS n FROM
                                                          jsonb_array_elements_text(COALESCE(s->'weg', '[]')) w
                                                          GROUP BY w) h), '{}'),
               'danach', (x->'danach') || COALESCE((SELECT jsonb_object_agg(w, 0) FROM
                                                     jsonb_array_elements_text(COALESCE(s->'weg', '[]')) w), '{}'),
               'reihenfolge', (x->'reihenfolge') || COALESCE((SELECT jsonb_agg(w ORDER BY erst) FROM
                                                               (SELECT w, min(i) AS erst FROM jsonb_array_elements_text(
                                                                  COALESCE(s->'weg', '[]')) WITH ORDINALITY y(w, i)
                                                                WHERE NOT (x->'reihenfolge') ? w GROUP BY w) r), '[]')))
        INTO d;
    END LOOP;
    RETURN d;
  END IF;
  IF objekt LIKE 'Programm %' OR objekt LIKE 'Unterprogramm %' THEN
    -- A deleted program: every level with the groups it held.
    RETURN d || COALESCE((SELECT jsonb_object_agg('Stufe ' || key, uv_rz_delta(value::text, ''))
                            FROM jsonb_each(vorher::jsonb)), '{}');
  END IF;
  IF objekt NOT LIKE 'Gruppe %' AND objekt NOT LIKE 'Stufe %' THEN
    RAISE EXCEPTION USING ERRCODE = 'KV109',
      MESSAGE = format('<PROTOKOLL> %s: diese Änderung kann nicht rückgängig gemacht werden', objekt);
  END IF;
  RETURN jsonb_set(d, ARRAY[objekt], uv_rz_delta(vorher, nachher));
END $f$;

-- The record named `o` ("Gruppe X", "Stufe P||S||L"): kind and key parts.
CREATE OR REPLACE FUNCTION uv_rz_art(o text) RETURNS text LANGUAGE sql IMMUTABLE AS $f$
  SELECT CASE WHEN o LIKE 'Gruppe %' THEN 'g' ELSE 's' END
$f$;

CREATE OR REPLACE FUNCTION uv_rz_schluessel(o text) RETURNS text[] LANGUAGE sql IMMUTABLE AS $f$
  SELECT CASE WHEN o LIKE 'Gruppe %' THEN ARRAY[substr(o, 8)] ELSE string_to_array(substr(o, 7), '||') END
$f$;

-- What an undo's `plan` does to end dates, for its preview: a date its change
-- (entry `eintrag`) took along comes back where the member will be in the
-- group and has none; one of a member the plan takes out goes with it.
CREATE OR REPLACE FUNCTION uv_rz_befristungen(eintrag bigint, plan jsonb[]) RETURNS jsonb LANGUAGE sql STABLE AS $f$
  WITH schritt AS (SELECT (uv_rz_schluessel(x->>'objekt'))[1] AS g, x FROM unnest(plan) x
                    WHERE NOT x ? 'fehlt' AND uv_rz_art(x->>'objekt') = 'g'),
  hinzu AS (SELECT s.g, h AS pcode FROM schritt s, jsonb_array_elements_text(COALESCE(s.x->'hinzu', '[]')) h),
  weg AS (SELECT s.g, h AS pcode FROM schritt s, jsonb_array_elements_text(COALESCE(s.x->'weg', '[]')) h),
  zurueck AS (SELECT DISTINCT ON (p.objekt) p.objekt, string_to_array(substr(p.objekt, 12), '||') AS k,
                     p.vorher::jsonb AS f
                FROM uv_protokoll p WHERE p.bezug = eintrag AND p.befehl = 'mit entfernt' ORDER BY p.objekt, p.nr DESC)
  SELECT COALESCE(jsonb_agg(jsonb_build_object('objekt', y.o, 'text', y.t) ORDER BY y.o COLLATE "C"), '[]') FROM (
    SELECT z.objekt AS o, 'kommt mit dem Mitglied wieder, ' || uv_befristung_text(z.f->>'bis', z.f->>'grund') AS t
      FROM zurueck z
     WHERE NOT EXISTS (SELECT 1 FROM uv_befristung b WHERE b.gruppe = z.k[1] AND b.pcode = z.k[2])
       AND (EXISTS (SELECT 1 FROM hinzu h WHERE h.g = z.k[1] AND h.pcode = z.k[2])
            OR (EXISTS (SELECT 1 FROM uv_gruppen_pcode m WHERE m.gruppe = z.k[1] AND m.pcode = z.k[2])
                AND NOT EXISTS (SELECT 1 FROM weg w WHERE w.g = z.k[1] AND w.pcode = z.k[2])))
    UNION
    SELECT 'Befristung ' || b.gruppe || '||' || b.pcode, 'entfällt mit dem Mitglied (bis ' || uv_datum_text(b.bis) || ')'
      FROM uv_befristung b JOIN weg w ON w.g = b.gruppe AND w.pcode = b.pcode
     WHERE NOT EXISTS (SELECT 1 FROM hinzu h WHERE h.g = b.gruppe AND h.pcode = b.pcode)) y
$f$;

-- Levels named "P||S||L" as their key parts, for a join (not a comparison
-- with each of thousands of names).
CREATE OR REPLACE FUNCTION uv_rz_teile(stufen text[]) RETURNS TABLE (p text, s text, l text) LANGUAGE sql AS $f$
  SELECT t[1], t[2], t[3] FROM (SELECT string_to_array(u, '||') AS t FROM unnest(stufen) u) x
$f$;

-- Applies a plan's steps (the records are locked). Values given back go after
-- each record's last position, all records of a kind in one statement.
CREATE OR REPLACE FUNCTION uv_rz_anwenden(plan jsonb[]) RETURNS void LANGUAGE plpgsql AS $f$
DECLARE s jsonb; k text[]; w text;
BEGIN
  FOREACH s IN ARRAY plan LOOP
    CONTINUE WHEN s ? 'fehlt' OR NOT (s ? 'loeschen' OR s ? 'anlegen' OR jsonb_array_length(s->'weg') > 0);
    k := uv_rz_schluessel(s->>'objekt');
    IF uv_rz_art(s->>'objekt') = 'g' THEN
      IF s ? 'loeschen' THEN
        DELETE FROM uv_gruppen_pcode WHERE gruppe = k[1];
        DELETE FROM uv_gruppen WHERE gruppe = k[1];
        CONTINUE;
      END IF;
      IF s ? 'anlegen' THEN PERFORM uv_anlegen('g', k); END IF;
      -- The newest of equal values goes first.
      FOR w IN SELECT jsonb_array_elements_text(s->'weg') LOOP
        DELETE FROM uv_gruppen_pcode WHERE gruppe = k[1] AND pos = (SELECT MAX(pos) FROM uv_gruppen_pcode
                                                                    WHERE gruppe = k[1] AND pcode = w);
      END LOOP;
    ELSE
      IF s ? 'loeschen' THEN
        DELETE FROM uv_programm_gruppe WHERE programmname = k[1] AND subprogramm = k[2] AND berechtigungsstufe = k[3];
        DELETE FROM uv_programm WHERE programmname = k[1] AND subprogramm = k[2] AND berechtigungsstufe = k[3];
        CONTINUE;
      END IF;
      IF s ? 'anlegen' THEN PERFORM uv_anlegen('s', k); END IF;
      FOR w IN SELECT jsonb_array_elements_text(s->'weg') LOOP
        DELETE FROM uv_programm_gruppe WHERE programmname = k[1] AND subprogramm = k[2] AND berechtigungsstufe = k[3]
           AND pos = (SELECT MAX(pos) FROM uv_programm_gruppe WHERE programmname = k[1] AND subprogramm = k[2]
                       AND berechtigungsstufe = k[3] AND gruppe = w);
      END LOOP;
    END IF;
  END LOOP;
  INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode)
  SELECT t.k[1], COALESCE((SELECT MAX(m.pos) FROM uv_gruppen_pcode m WHERE m.gruppe = t.k[1]), 0) + h.i, h.wert
    FROM (SELECT uv_rz_schluessel(x->>'objekt') AS k, x->'hinzu' AS hinzu FROM unnest(plan) x
           WHERE NOT x ? 'fehlt' AND NOT x ? 'loeschen' AND uv_rz_art(x->>'objekt') = 'g') t,
         jsonb_array_elements_text(t.hinzu) WITH ORDINALITY h(wert, i);
  INSERT INTO uv_programm_gruppe (programmname, subprogramm, berechtigungsstufe, pos, gruppe)
  SELECT t.k[1], t.k[2], t.k[3],
         COALESCE((SELECT MAX(m.pos) FROM uv_programm_gruppe m WHERE m.programmname = t.k[1]
                    AND m.subprogramm = t.k[2] AND m.berechtigungsstufe = t.k[3]), 0) + h.i, h.wert
    FROM (SELECT uv_rz_schluessel(x->>'objekt') AS k, x->'hinzu' AS hinzu FROM unnest(plan) x
           WHERE NOT x ? 'fehlt' AND NOT x ? 'loeschen' AND uv_rz_art(x->>'objekt') = 's') t,
         jsonb_array_elements_text(t.hinzu) WITH ORDINALITY h(wert, i);
END $f$;

-- Of a created record's values now, those its creation did not bring (in order).
CREATE OR REPLACE FUNCTION uv_rz_seither(ist jsonb, plus jsonb) RETURNS jsonb LANGUAGE sql AS $f$
  SELECT COALESCE(jsonb_agg(w ORDER BY i), '[]') FROM (
    SELECT w, i, row_number() OVER (PARTITION BY w ORDER BY i) AS n FROM jsonb_array_elements_text(ist) WITH ORDINALITY x(w, i)) y
   WHERE n > COALESCE((plus->>w)::int, 0)
$f$;

-- The step that takes back delta `x` from record `o` holding `ist` now (NULL:
-- not there, deleted by the change): values the change removed come back, as
-- far as they are not back already; values it added go, as far as they are
-- still there. NULL when there is nothing to do.
CREATE OR REPLACE FUNCTION uv_rz_schritt(o text, x jsonb, ist jsonb) RETURNS jsonb LANGUAGE sql AS $f$
  WITH zahl AS (SELECT COALESCE(jsonb_object_agg(v, n), '{}') AS z FROM
                  (SELECT v, count(*)::int AS n FROM jsonb_array_elements_text(COALESCE(ist, '[]')) v GROUP BY v) c),
       h AS (SELECT COALESCE(jsonb_agg(q.w ORDER BY q.i, g), '[]') AS hinzu FROM zahl,
               jsonb_array_elements_text(x->'reihenfolge') WITH ORDINALITY q(w, i),
               generate_series(1, GREATEST(0, (x->'minus'->>q.w)::int
                                              - GREATEST(0, COALESCE((zahl.z->>q.w)::int, 0) - (x->'danach'->>q.w)::int))) g),
       w AS (SELECT COALESCE(jsonb_agg(p.key ORDER BY p.key COLLATE "C", g), '[]') AS weg FROM zahl,
               jsonb_each_text(x->'plus') p, generate_series(1, LEAST(p.value::int, COALESCE((zahl.z->>p.key)::int, 0))) g)
  SELECT CASE
    WHEN ist IS NOT NULL AND (x->>'geloescht')::boolean AND jsonb_array_length(h.hinzu) = 0 THEN NULL
    WHEN jsonb_array_length(h.hinzu) = 0 AND jsonb_array_length(w.weg) = 0 AND NOT (ist IS NULL AND (x->>'geloescht')::boolean) THEN NULL
    ELSE jsonb_build_object('objekt', o, 'hinzu', h.hinzu, 'weg', w.weg)
         || CASE WHEN ist IS NULL THEN '{"anlegen": true}'::jsonb ELSE '{}'::jsonb END END
    FROM h, w
$f$;

-- The steps that take back the deltas `d` from the records as they are now
-- (`jetzt`: record name → values, absent when the record is not there).
-- One step per record, groups before levels, each in name order; in one
-- query: a group's delete gives back thousands of levels.
CREATE OR REPLACE FUNCTION uv_rz_plan(d jsonb, jetzt jsonb) RETURNS jsonb[] LANGUAGE sql AS $f$
  SELECT COALESCE(array_agg(z.schritt ORDER BY z.o NOT LIKE 'Gruppe %', z.o COLLATE "C"), ARRAY[]::jsonb[])
    FROM (SELECT dx.o, CASE
          -- Undoing a creation deletes the record, whatever it holds now; the
          -- preview names what it gained since it was created.
          WHEN (dx.x->>'angelegt')::boolean THEN
            CASE WHEN jx.ist IS NOT NULL THEN
              jsonb_build_object('objekt', dx.o, 'loeschen', true, 'seither', uv_rz_seither(jx.ist, dx.x->'plus'),
                                 'hinzu', '[]'::jsonb, 'weg', jx.ist) END
          -- Deleted since (by another workstation, say): it stays deleted;
          -- only a delete that this entry made is taken back.
          WHEN jx.ist IS NULL AND NOT (dx.x->>'geloescht')::boolean THEN jsonb_build_object('objekt', dx.o, 'fehlt', true)
          ELSE uv_rz_schritt(dx.o, dx.x, jx.ist) END AS schritt
          FROM jsonb_each(d) dx(o, x) LEFT JOIN jsonb_each(jetzt) jx(o, ist) ON jx.o = dx.o) z
 WHERE z.schritt IS NOT NULL
$f$;

-- Takes back log entry `nr`: answers {plan, marke, gespeichert}; stores only
-- when `erwartet` is the hash of the plan it finds now, locked, for an
-- administrator signed on. The preview reads what anyone may read.
CREATE OR REPLACE FUNCTION uv_rueckgaengig(rechner text, nr bigint, erwartet text) RETURNS text
LANGUAGE plpgsql AS $f$
DECLARE kopf json := CASE WHEN erwartet <> '' THEN uv_kopf(rechner) END; e uv_protokoll; d jsonb := '{}'; r record; o text; g text;
        jetzt jsonb := '{}'; plan jsonb[] := ARRAY[]::jsonb[]; angewandt jsonb[] := ARRAY[]::jsonb[]; text_plan text;
        marke text; gespeichert boolean := false; stufen text[]; gruppen text[]; schluessel text;
        r_gruppen text[]; r_codes text[]; r_neue text[]; r_regeln text[] := '{}'; r_vorher text[]; r_nr bigint := 0;
        befristungen jsonb;
BEGIN
  SELECT * INTO e FROM uv_protokoll p WHERE p.nr = uv_rueckgaengig.nr;
  IF NOT FOUND THEN
    RAISE EXCEPTION USING ERRCODE = 'KV109', MESSAGE = format('<PROTOKOLL> kein Eintrag mit der Nummer %s', nr);
  END IF;
  -- An end date or a rule is a record of fields, not a list.
  IF e.befehl NOT IN ('abgelaufen', 'mit entfernt') AND (e.objekt LIKE 'Befristung %' OR e.objekt LIKE 'Regel %') THEN
    RETURN uv_rz_feld(kopf, e.nr, erwartet);
  END IF;
  d := uv_rz_entnehmen(d, e.befehl, e.objekt, e.vorher, e.nachher);
  -- A group's delete takes its withdrawal from the levels along, a copy its grants.
  FOR r IN SELECT * FROM uv_protokoll p WHERE p.bezug = uv_rueckgaengig.nr
                AND p.befehl IN ('aus Stufen entfernen', 'berechtigen') ORDER BY p.nr LOOP
    d := uv_rz_entnehmen(d, r.befehl, r.objekt, r.vorher, r.nachher);
  END LOOP;
  -- Undoing a group's creation deletes it: like a group delete it leaves
  -- every level that granted it since. Locked first, so no grant slips in.
  FOR o IN SELECT key FROM jsonb_each(d) WHERE key LIKE 'Gruppe %' AND (value->>'angelegt')::boolean
            ORDER BY key COLLATE "C" LOOP
    g := substr(o, 8);
    IF kopf IS NOT NULL THEN
      PERFORM uv_namenssperre('g', ARRAY[g]);
      PERFORM uv_sperren('g', ARRAY[g]);
    END IF;
    d := uv_rz_stufen(d, g, (SELECT COALESCE(json_agg(programmname || '||' || subprogramm || '||' || berechtigungsstufe),
                                             '[]') FROM uv_programm_gruppe WHERE gruppe = g), false);
  END LOOP;
  -- Groups before levels, each in name order: the order every command locks in.
  SELECT COALESCE(array_agg(substr(key, 8) ORDER BY key COLLATE "C"), '{}') INTO gruppen FROM jsonb_object_keys(d) key
   WHERE key LIKE 'Gruppe %';
  SELECT COALESCE(array_agg(substr(key, 7) ORDER BY key COLLATE "C"), '{}') INTO stufen FROM jsonb_object_keys(d) key
   WHERE key LIKE 'Stufe %';
  IF kopf IS NOT NULL THEN
    FOREACH g IN ARRAY gruppen LOOP
      PERFORM uv_namenssperre('g', ARRAY[g]);
    END LOOP;
    -- With them the groups it may give back to levels: a group's delete
    -- locks no level, only the group.
    PERFORM 1 FROM uv_gruppen WHERE gruppe = ANY (gruppen) OR gruppe IN (
      SELECT jsonb_object_keys(value->'minus') FROM jsonb_each(d) WHERE key LIKE 'Stufe %')
     ORDER BY gruppe FOR UPDATE;
    IF cardinality(gruppen) + cardinality(stufen) < 50 THEN
      FOREACH g IN ARRAY stufen LOOP
        PERFORM uv_namenssperre('s', string_to_array(g, '||'));
      END LOOP;
    END IF;
    PERFORM 1 FROM uv_programm a JOIN uv_rz_teile(stufen) t ON a.programmname = t.p AND a.subprogramm = t.s
       AND a.berechtigungsstufe = t.l ORDER BY a.programmname, a.subprogramm, a.berechtigungsstufe FOR UPDATE OF a;
  END IF;
  SELECT COALESCE(jsonb_object_agg('Gruppe ' || a.gruppe, COALESCE(l.werte, '[]')), '{}') INTO jetzt
    FROM uv_gruppen a LEFT JOIN LATERAL (SELECT jsonb_agg(m.pcode ORDER BY m.pos) AS werte FROM uv_gruppen_pcode m
                                          WHERE m.gruppe = a.gruppe) l ON true
   WHERE a.gruppe = ANY (gruppen);
  SELECT jetzt || COALESCE(jsonb_object_agg('Stufe ' || t, COALESCE(l.werte, '[]')), '{}') INTO jetzt
    FROM (SELECT a.*, a.programmname || '||' || a.subprogramm || '||' || a.berechtigungsstufe AS t
            FROM uv_programm a JOIN uv_rz_teile(stufen) t ON a.programmname = t.p AND a.subprogramm = t.s
             AND a.berechtigungsstufe = t.l) a
    LEFT JOIN LATERAL (SELECT jsonb_agg(m.gruppe ORDER BY m.pos) AS werte FROM uv_programm_gruppe m
                        WHERE m.programmname = a.programmname AND m.subprogramm = a.subprogramm
                          AND m.berechtigungsstufe = a.berechtigungsstufe) l ON true;

  -- The plan follows from the changes and the records as they are now: one
  -- computed for the same (by the preview) is taken as it is.
  schluessel := encode(sha256(convert_to(d::text || '|' || jetzt::text, 'UTF8')), 'hex');
  SELECT k.plan INTO plan FROM uv_rz_plaene k WHERE k.eingabe = schluessel;
  IF NOT FOUND THEN
    plan := uv_rz_plan(d, jetzt);
    DELETE FROM uv_rz_plaene k WHERE k.zeit < now() - interval '1 hour';
    INSERT INTO uv_rz_plaene (eingabe, plan) VALUES (schluessel, plan) ON CONFLICT DO NOTHING;
  END IF;
  text_plan := to_jsonb(plan)::text;
  marke := encode(sha256(convert_to(text_plan, 'UTF8')), 'hex');
  befristungen := uv_rz_befristungen(nr, plan);
  IF kopf IS NOT NULL AND erwartet = marke THEN
    -- What the undo gives back is checked against the rules like any grant.
    SELECT COALESCE(array_agg(DISTINCT (uv_rz_schluessel(x->>'objekt'))[1]), '{}') INTO r_gruppen FROM unnest(plan) x
     WHERE NOT x ? 'fehlt' AND uv_rz_art(x->>'objekt') = 'g' AND jsonb_array_length(COALESCE(x->'hinzu', '[]')) > 0;
    SELECT COALESCE(array_agg(DISTINCT h), '{}') INTO r_codes FROM unnest(plan) x, jsonb_array_elements_text(x->'hinzu') h
     WHERE NOT x ? 'fehlt' AND uv_rz_art(x->>'objekt') = 'g';
    SELECT COALESCE(array_agg(DISTINCT h), '{}') INTO r_neue FROM unnest(plan) x, jsonb_array_elements_text(x->'hinzu') h
     WHERE NOT x ? 'fehlt' AND uv_rz_art(x->>'objekt') = 's';
    IF (cardinality(r_gruppen) > 0 OR cardinality(r_neue) > 0) AND EXISTS (SELECT 1 FROM uv_regel) THEN
      PERFORM uv_regeln_sperren(false);
      SELECT COALESCE(array_agg(DISTINCT q), '{}') INTO r_regeln FROM (
        SELECT unnest(uv_regeln_fuer(r_gruppen, NULL)) AS q
        UNION SELECT unnest(uv_regeln_fuer('{}', uv_rz_schluessel(x->>'objekt'))) FROM unnest(plan) x
         WHERE NOT x ? 'fehlt' AND uv_rz_art(x->>'objekt') = 's' AND jsonb_array_length(COALESCE(x->'hinzu', '[]')) > 0) y;
      r_codes := ARRAY(SELECT unnest(r_codes) UNION SELECT m.pcode FROM uv_gruppen_pcode m WHERE m.gruppe = ANY (r_neue));
      IF cardinality(r_regeln) > 0 AND cardinality(r_codes) > 0 THEN
        r_vorher := uv_verstosschluessel(r_codes, r_regeln);
      END IF;
    END IF;
    PERFORM uv_rz_anwenden(plan);
    SELECT COALESCE(array_agg(s), ARRAY[]::jsonb[]) INTO angewandt FROM unnest(plan) s WHERE NOT s ? 'fehlt';
    IF cardinality(angewandt) > 0 THEN
      r_nr := uv_protokollieren(kopf, 'rückgängig', e.objekt, '', to_jsonb(angewandt)::text, nr);
      -- A member the undo took out takes its end date along; one it gives
      -- back gets the date the change took with it.
      PERFORM uv_befristungen_bereinigen(kopf, ARRAY(SELECT (uv_rz_schluessel(x->>'objekt'))[1] FROM unnest(angewandt) x
                                                      WHERE uv_rz_art(x->>'objekt') = 'g'), r_nr);
      PERFORM uv_befristungen_zurueck(kopf, nr, r_nr);
    END IF;
    IF r_vorher IS NOT NULL THEN
      PERFORM uv_unvereinbar_pruefen(kopf, r_codes, r_regeln, r_vorher, r_nr);
    END IF;
    gespeichert := true;
  END IF;
  RETURN json_build_object('e', jsonb_build_object('plan', to_jsonb(plan), 'marke', marke, 'gespeichert', gespeichert,
                                                   'befristungen', befristungen)::text, 'v', json_build_array());
END $f$;
