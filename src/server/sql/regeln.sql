-- Rules of incompatible rights: an employee violates a rule when, through
-- any of their groups, they hold a level of each side ("*": any sub-program
-- or level). Every change that grants checks, under its own locks, that it
-- makes nobody violate a rule they did not violate before; such a change is
-- stored only with a reason (the transaction's setting korval.ausnahme),
-- which becomes an exception of that employee for that rule.

-- Which side of which rule (of `regeln`, all when NULL) a level of the groups
-- `gruppen` matches, by group. The groups' levels are read once; each kind of
-- side ("*" for sub-program, level, both or neither) is an equality join, so
-- a group that holds every level costs one pass, not one per rule.
CREATE OR REPLACE FUNCTION uv_regel_treffer(gruppen text[], regeln text[])
RETURNS TABLE (name text, seite int, gruppe text) LANGUAGE sql STABLE AS $f$
  WITH pg AS MATERIALIZED (SELECT x.programmname AS p, x.subprogramm AS s, x.berechtigungsstufe AS l, x.gruppe AS g
                             FROM uv_programm_gruppe x WHERE x.gruppe = ANY (gruppen)),
  r AS MATERIALIZED (SELECT * FROM uv_regel y WHERE regeln IS NULL OR y.name = ANY (regeln))
  SELECT r.name, 1, pg.g FROM pg JOIN r ON r.p1 = pg.p AND r.s1 = pg.s AND r.l1 = pg.l WHERE r.s1 <> '*' AND r.l1 <> '*'
  UNION ALL SELECT r.name, 1, pg.g FROM pg JOIN r ON r.p1 = pg.p AND r.s1 = pg.s AND r.l1 = '*' WHERE r.s1 <> '*'
  UNION ALL SELECT r.name, 1, pg.g FROM pg JOIN r ON r.p1 = pg.p AND r.s1 = '*' AND r.l1 = pg.l WHERE r.l1 <> '*'
  UNION ALL SELECT r.name, 1, pg.g FROM pg JOIN r ON r.p1 = pg.p AND r.s1 = '*' AND r.l1 = '*'
  UNION ALL
  SELECT r.name, 2, pg.g FROM pg JOIN r ON r.p2 = pg.p AND r.s2 = pg.s AND r.l2 = pg.l WHERE r.s2 <> '*' AND r.l2 <> '*'
  UNION ALL SELECT r.name, 2, pg.g FROM pg JOIN r ON r.p2 = pg.p AND r.s2 = pg.s AND r.l2 = '*' WHERE r.s2 <> '*'
  UNION ALL SELECT r.name, 2, pg.g FROM pg JOIN r ON r.p2 = pg.p AND r.s2 = '*' AND r.l2 = pg.l WHERE r.l2 <> '*'
  UNION ALL SELECT r.name, 2, pg.g FROM pg JOIN r ON r.p2 = pg.p AND r.s2 = '*' AND r.l2 = '*'
$f$;

-- The rules with a side that a level of the groups `gruppen`, or level
-- `stufe` ([p, s, l] or NULL), matches.
CREATE OR REPLACE FUNCTION uv_regeln_fuer(gruppen text[], stufe text[]) RETURNS text[] LANGUAGE sql STABLE AS $f$
  SELECT COALESCE(array_agg(DISTINCT x.name), '{}') FROM (
    SELECT t.name FROM uv_regel_treffer(gruppen, NULL) t
    UNION ALL
    SELECT r.name FROM uv_regel r
     WHERE stufe IS NOT NULL AND ((r.p1 = stufe[1] AND r.s1 IN ('*', stufe[2]) AND r.l1 IN ('*', stufe[3]))
                               OR (r.p2 = stufe[1] AND r.s2 IN ('*', stufe[2]) AND r.l2 IN ('*', stufe[3])))) x
$f$;

-- The violations of the employees `codes` under the rules `regeln`, with the
-- groups that grant each side.
CREATE OR REPLACE FUNCTION uv_verstoesse(codes text[], regeln text[])
RETURNS TABLE (pcode text, regel text, seite1 text[], seite2 text[]) LANGUAGE sql STABLE AS $f$
  WITH mg AS (SELECT DISTINCT m.pcode, m.gruppe FROM uv_gruppen_pcode m WHERE m.pcode = ANY (codes)),
  -- Only the levels of the employees' groups.
  s AS (SELECT * FROM uv_regel_treffer(ARRAY(SELECT DISTINCT gruppe FROM mg), regeln))
  SELECT mg.pcode, s.name,
         array_agg(DISTINCT s.gruppe COLLATE "C" ORDER BY s.gruppe COLLATE "C") FILTER (WHERE s.seite = 1),
         array_agg(DISTINCT s.gruppe COLLATE "C" ORDER BY s.gruppe COLLATE "C") FILTER (WHERE s.seite = 2)
    FROM s JOIN mg ON mg.gruppe = s.gruppe
   GROUP BY mg.pcode, s.name HAVING MIN(s.seite) = 1 AND MAX(s.seite) = 2
$f$;

-- The violations that the employees `codes` joining group `g` (none a member
-- yet) would add, worked out before they join: what g grants with what their
-- other groups grant, less what those grant alone. g's levels are read once.
CREATE OR REPLACE FUNCTION uv_beitritt_verstoesse(g text, codes text[])
RETURNS TABLE (pcode text, regel text, seite1 text[], seite2 text[]) LANGUAGE sql STABLE AS $f$
  WITH tg AS (SELECT t.name, bool_or(t.seite = 1) AS a, bool_or(t.seite = 2) AS b
                FROM uv_regel_treffer(ARRAY[g], NULL) t GROUP BY t.name),
  mg AS (SELECT DISTINCT m.pcode, m.gruppe FROM uv_gruppen_pcode m WHERE m.pcode = ANY (codes) AND m.gruppe <> g),
  andere AS (SELECT mg.pcode, t.name,
                    array_agg(DISTINCT t.gruppe ORDER BY t.gruppe) FILTER (WHERE t.seite = 1) AS g1,
                    array_agg(DISTINCT t.gruppe ORDER BY t.gruppe) FILTER (WHERE t.seite = 2) AS g2
               FROM uv_regel_treffer(ARRAY(SELECT DISTINCT gruppe FROM mg), ARRAY(SELECT name FROM tg)) t
               JOIN mg ON mg.gruppe = t.gruppe GROUP BY mg.pcode, t.name)
  SELECT c.pcode, tg.name,
         ARRAY(SELECT DISTINCT x COLLATE "C" FROM unnest(COALESCE(o.g1, '{}') || CASE WHEN tg.a THEN ARRAY[g] ELSE '{}' END) x
                ORDER BY 1),
         ARRAY(SELECT DISTINCT x COLLATE "C" FROM unnest(COALESCE(o.g2, '{}') || CASE WHEN tg.b THEN ARRAY[g] ELSE '{}' END) x
                ORDER BY 1)
    FROM (SELECT DISTINCT x COLLATE "C" AS pcode FROM unnest(codes) x) c CROSS JOIN tg
    LEFT JOIN andere o ON o.pcode = c.pcode AND o.name = tg.name
   WHERE (tg.a OR o.g1 IS NOT NULL) AND (tg.b OR o.g2 IS NOT NULL) AND (o.g1 IS NULL OR o.g2 IS NULL)
$f$;

-- The same as keys, to compare before and after a change.
CREATE OR REPLACE FUNCTION uv_verstosschluessel(codes text[], regeln text[]) RETURNS text[] LANGUAGE sql STABLE AS $f$
  SELECT COALESCE(array_agg(json_build_array(v.pcode, v.regel)::text), '{}') FROM uv_verstoesse(codes, regeln) v
$f$;

-- After a change that granted: the violations of `codes` under `regeln` not
-- in `vorher` (the keys before the change) and without an exception. With the
-- transaction's reason they become exceptions, each logged and tied to entry
-- `nr`; without one the change is refused (and its transaction rolled back).
CREATE OR REPLACE FUNCTION uv_unvereinbar_pruefen(kopf json, codes text[], regeln text[], vorher text[], nr bigint)
RETURNS void LANGUAGE plpgsql AS $f$
DECLARE neu json;
BEGIN
  SELECT json_agg(json_build_array(x.pcode, x.regel, x.seite1, x.seite2) ORDER BY x.pcode, x.regel) INTO neu
    FROM uv_verstoesse(codes, regeln) x
   WHERE NOT json_build_array(x.pcode, x.regel)::text = ANY (vorher)
     AND NOT EXISTS (SELECT 1 FROM uv_ausnahme a WHERE a.pcode = x.pcode AND a.regel = x.regel);
  PERFORM uv_unvereinbar_melden(kopf, neu, nr);
END $f$;

-- New violations `neu` ([[code, rule, side 1, side 2], …] or NULL) refuse the
-- change, or with the transaction's reason become exceptions tied to entry `nr`.
CREATE OR REPLACE FUNCTION uv_unvereinbar_melden(kopf json, neu json, nr bigint) RETURNS void LANGUAGE plpgsql AS $f$
DECLARE grund text := COALESCE(current_setting('korval.ausnahme', true), '');
BEGIN
  IF neu IS NULL THEN RETURN; END IF;
  IF grund = '' THEN
    RAISE EXCEPTION USING ERRCODE = 'KV120', MESSAGE = '<UNVEREINBAR> ' || neu::text;
  END IF;
  INSERT INTO uv_ausnahme (pcode, regel, grund, firma, wer, wann, nr)
  SELECT x->>0, x->>1, grund, COALESCE(kopf->>0, ''), COALESCE(kopf->>2, ''),
         to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'), nr
    FROM json_array_elements(neu) x
  ON CONFLICT (pcode, regel) DO UPDATE SET grund = excluded.grund, firma = excluded.firma, wer = excluded.wer,
    wann = excluded.wann, nr = excluded.nr;
  PERFORM uv_protokollieren_alle(kopf, 'Ausnahme', array_agg('Ausnahme ' || (x->>0) || '||' || (x->>1) ORDER BY i),
            array_fill(''::text, ARRAY[count(*)::int]),
            array_agg('{"grund":' || to_json(grund)::text || ',"seite1":' || (x->2)::text || ',"seite2":'
                      || (x->3)::text || '}' ORDER BY i), nr)
    FROM json_array_elements(neu) WITH ORDINALITY AS e(x, i);
END $f$;

-- Grants take this lock shared before they read the rules, a rule's change
-- exclusively: a rule stored while a workstation grants is seen by its check.
CREATE OR REPLACE FUNCTION uv_regeln_sperren(exklusiv boolean) RETURNS void LANGUAGE plpgsql AS $f$
BEGIN
  IF exklusiv THEN
    PERFORM pg_catalog.pg_advisory_xact_lock(4712, 0);
  ELSE
    PERFORM pg_catalog.pg_advisory_xact_lock_shared(4712, 0);
  END IF;
END $f$;

-- A rule as the log shows it, '' when there is none.
CREATE OR REPLACE FUNCTION uv_regelfelder(n text) RETURNS text LANGUAGE sql STABLE AS $f$
  SELECT COALESCE((SELECT '{"beschreibung":' || to_json(r.beschreibung)::text || ',"seite1":'
                          || to_json(ARRAY[r.p1, r.s1, r.l1])::text || ',"seite2":'
                          || to_json(ARRAY[r.p2, r.s2, r.l2])::text || '}' FROM uv_regel r WHERE r.name = n), '')
$f$;

-- A rule created (`neu`) or changed; refused when it is there already, or gone.
CREATE OR REPLACE FUNCTION uv_regel_speichern(rechner text, n text, beschreibung text, seiten json, neu boolean)
RETURNS text LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner); vorher text; nachher text; t text[]; gleich text;
BEGIN
  -- A new name without the blanks around it; an existing one as it is stored.
  IF neu THEN n := btrim(n); END IF;
  -- Blanks around a side's parts would make it match nothing.
  t := ARRAY(SELECT btrim(x) FROM json_array_elements_text(seiten->0) x
             UNION ALL SELECT btrim(x) FROM json_array_elements_text(seiten->1) x);
  IF n = '' OR cardinality(t) <> 6 OR '' = ANY (t) OR t[1] = '*' OR t[4] = '*'
     OR EXISTS (SELECT 1 FROM unnest(t) x WHERE x LIKE '%||%') THEN
    RAISE EXCEPTION USING ERRCODE = 'KV109', MESSAGE = '<REGEL> Name, Programm, Unterprogramm und Stufe beider '
      'Seiten sind nötig (Unterprogramm und Stufe dürfen "*" sein)';
  END IF;
  IF n LIKE '%||%' OR n LIKE '|%' OR n LIKE '%|' THEN
    RAISE EXCEPTION USING ERRCODE = 'KV109', MESSAGE = '<REGEL> Der Name einer Regel darf "||" nicht enthalten '
      'und nicht mit "|" beginnen oder enden';
  END IF;
  -- Sides that share a level ("*" takes in every other): whoever holds it
  -- would break the rule alone.
  IF t[1] = t[4] AND (t[2] = '*' OR t[5] = '*' OR t[2] = t[5]) AND (t[3] = '*' OR t[6] = '*' OR t[3] = t[6]) THEN
    RAISE EXCEPTION USING ERRCODE = 'KV109', MESSAGE = '<REGEL> Beide Seiten umfassen dieselbe Stufe: wer sie hat, '
      'verstieße schon allein gegen die Regel';
  END IF;
  PERFORM uv_regeln_sperren(true);
  vorher := uv_regelfelder(n);
  -- Names that differ only in case would look like one rule in every list.
  IF neu THEN
    SELECT r.name INTO gleich FROM uv_regel r WHERE lower(r.name COLLATE "default") = lower(n COLLATE "default")
     ORDER BY r.name = n DESC LIMIT 1;
    IF gleich IS NOT NULL THEN
      RAISE EXCEPTION USING ERRCODE = 'KV115', MESSAGE = format('<KONFLIKT> Regel %s besteht bereits', gleich);
    END IF;
  END IF;
  IF NOT neu AND vorher = '' THEN
    RAISE EXCEPTION USING ERRCODE = 'KV114', MESSAGE = format('<KONFLIKT> Regel %s wurde inzwischen gelöscht', n);
  END IF;
  INSERT INTO uv_regel (name, beschreibung, p1, s1, l1, p2, s2, l2)
  VALUES (n, beschreibung, t[1], t[2], t[3], t[4], t[5], t[6])
  ON CONFLICT (name) DO UPDATE SET beschreibung = excluded.beschreibung, p1 = excluded.p1, s1 = excluded.s1,
    l1 = excluded.l1, p2 = excluded.p2, s2 = excluded.s2, l2 = excluded.l2;
  nachher := uv_regelfelder(n);
  IF nachher <> vorher THEN
    PERFORM uv_protokollieren(kopf, CASE WHEN neu THEN 'anlegen' ELSE 'speichern' END, 'Regel ' || n, vorher, nachher);
  END IF;
  RETURN json_build_object('e', CASE WHEN nachher <> vorher THEN '1' ELSE '0' END, 'v', json_build_array());
END $f$;

-- The rule `n`, or the one rule whose name differs from it only in case or blanks.
CREATE OR REPLACE FUNCTION uv_regel_loeschen(rechner text, n text) RETURNS text LANGUAGE plpgsql AS $f$
DECLARE kopf json := uv_kopf(rechner); vorher text; gleich text;
BEGIN
  PERFORM uv_regeln_sperren(true);
  IF NOT EXISTS (SELECT 1 FROM uv_regel r WHERE r.name = n) THEN
    SELECT min(r.name) INTO gleich FROM uv_regel r
     WHERE lower(btrim(r.name) COLLATE "default") = lower(btrim(n) COLLATE "default") HAVING count(*) = 1;
    n := COALESCE(gleich, n);
  END IF;
  vorher := uv_regelfelder(n);
  DELETE FROM uv_regel WHERE name = n;
  IF vorher <> '' THEN
    PERFORM uv_protokollieren(kopf, 'löschen', 'Regel ' || n, vorher, '');
  END IF;
  RETURN json_build_object('e', CASE WHEN vorher <> '' THEN '1' ELSE '0' END, 'v', json_build_array());
END $f$;

-- Undo of entry `eintrag`, of an end date or a rule: the record is set back to
-- what the entry found, when it is still as the entry left it; a later change
-- stays. Answers as uv_rueckgaengig; stores only with the confirmed `erwartet`.
CREATE OR REPLACE FUNCTION uv_rz_feld(kopf json, eintrag bigint, erwartet text) RETURNS text LANGUAGE plpgsql AS $f$
DECLARE e uv_protokoll; k text[]; jetzt text; ziel jsonb; plan jsonb; marke text; gespeichert boolean := false;
        befristung boolean; beschreibung text;
BEGIN
  SELECT * INTO e FROM uv_protokoll p WHERE p.nr = eintrag;
  befristung := e.objekt LIKE 'Befristung %';
  IF befristung THEN
    k := string_to_array(substr(e.objekt, 12), '||');
    IF kopf IS NOT NULL THEN PERFORM 1 FROM uv_gruppen WHERE gruppe = k[1] FOR UPDATE; END IF;
    jetzt := uv_befristungsfelder(k[1], k[2]);
  ELSE
    k := ARRAY[substr(e.objekt, 7)];
    IF kopf IS NOT NULL THEN PERFORM uv_regeln_sperren(true); END IF;
    jetzt := uv_regelfelder(k[1]);
  END IF;
  ziel := NULLIF(e.vorher, '')::jsonb;
  beschreibung := CASE
    WHEN befristung AND ziel IS NULL THEN 'Befristung wird aufgehoben'
    WHEN befristung THEN 'wieder ' || uv_befristung_text(ziel->>'bis', ziel->>'grund')
    WHEN ziel IS NULL THEN 'Regel wird gelöscht'
    WHEN e.nachher = '' THEN 'Regel wird wieder angelegt'
    ELSE 'Regel wird zurückgesetzt' END;
  IF jetzt = e.vorher THEN
    plan := '[]';
  ELSIF jetzt <> e.nachher THEN
    plan := jsonb_build_array(jsonb_build_object('objekt', e.objekt, 'bleibt', true,
                                                 'text', 'wurde inzwischen geändert; die spätere Änderung bleibt'));
  ELSIF befristung AND ziel IS NOT NULL AND NOT EXISTS (SELECT 1 FROM uv_gruppen_pcode m WHERE m.gruppe = k[1]
                                                        AND m.pcode = k[2]) THEN
    plan := jsonb_build_array(jsonb_build_object('objekt', e.objekt, 'bleibt', true,
                                                 'text', 'ist nicht mehr Mitglied der Gruppe; bleibt ohne Befristung'));
  ELSIF NOT befristung AND ziel IS NOT NULL AND jetzt = '' AND EXISTS (
          SELECT 1 FROM uv_regel r WHERE lower(r.name COLLATE "default") = lower(k[1] COLLATE "default")) THEN
    -- Two names that differ only in case would look like one rule.
    plan := jsonb_build_array(jsonb_build_object('objekt', e.objekt, 'bleibt', true, 'text', format(
              'eine Regel %s ist inzwischen angelegt; bleibt gelöscht',
              (SELECT min(r.name) FROM uv_regel r WHERE lower(r.name COLLATE "default") = lower(k[1] COLLATE "default")))));
  ELSE
    plan := jsonb_build_array(jsonb_build_object('objekt', e.objekt, 'setzen', e.vorher, 'text', beschreibung));
  END IF;
  marke := encode(sha256(convert_to(plan::text, 'UTF8')), 'hex');
  IF kopf IS NOT NULL AND erwartet = marke AND plan->0 ? 'setzen' THEN
    IF befristung AND ziel IS NULL THEN
      DELETE FROM uv_befristung WHERE gruppe = k[1] AND pcode = k[2];
    ELSIF befristung THEN
      INSERT INTO uv_befristung (gruppe, pcode, bis, grund, firma, wer, wann)
      VALUES (k[1], k[2], ziel->>'bis', ziel->>'grund', kopf->>0, kopf->>2,
              to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'))
      ON CONFLICT (gruppe, pcode) DO UPDATE SET bis = excluded.bis, grund = excluded.grund, firma = excluded.firma,
        wer = excluded.wer, wann = excluded.wann;
    ELSIF ziel IS NULL THEN
      DELETE FROM uv_regel WHERE name = k[1];
    ELSE
      INSERT INTO uv_regel (name, beschreibung, p1, s1, l1, p2, s2, l2)
      VALUES (k[1], ziel->>'beschreibung', ziel->'seite1'->>0, ziel->'seite1'->>1, ziel->'seite1'->>2,
              ziel->'seite2'->>0, ziel->'seite2'->>1, ziel->'seite2'->>2)
      ON CONFLICT (name) DO UPDATE SET beschreibung = excluded.beschreibung, p1 = excluded.p1, s1 = excluded.s1,
        l1 = excluded.l1, p2 = excluded.p2, s2 = excluded.s2, l2 = excluded.l2;
    END IF;
    PERFORM uv_protokollieren(kopf, 'rückgängig', e.objekt, jetzt, e.vorher, e.nr);
    gespeichert := true;
  END IF;
  RETURN json_build_object('e', jsonb_build_object('plan', plan, 'marke', marke, 'gespeichert', gespeichert)::text,
                           'v', json_build_array());
END $f$;
