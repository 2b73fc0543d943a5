-- What the window shows next, read in the command's transaction, and what it
-- reads at sign-on: the rows of the queries it would ask (as the in-process
-- queries order them). The client takes them instead of asking again.

CREATE OR REPLACE FUNCTION uv_vorrat_gruppen() RETURNS json LANGUAGE sql AS $f$
  SELECT json_build_object('a', 'userverwaltung.gruppen:gruppen', 'p', json_build_array(),
    'z', COALESCE((SELECT json_agg(json_build_array(gruppe) ORDER BY gruppe) FROM uv_gruppen), '[]'))
$f$;

CREATE OR REPLACE FUNCTION uv_vorrat_programme() RETURNS json LANGUAGE sql AS $f$
  WITH RECURSIVE p(name) AS (SELECT MAX(programmname) FROM uv_programm UNION ALL
    SELECT (SELECT MAX(programmname) FROM uv_programm WHERE programmname < p.name) FROM p WHERE p.name IS NOT NULL)
  SELECT json_build_object('a', 'userverwaltung.programm:programme', 'p', json_build_array(),
    'z', COALESCE((SELECT json_agg(json_build_array(name) ORDER BY name DESC) FROM p WHERE name IS NOT NULL), '[]'))
$f$;

CREATE OR REPLACE FUNCTION uv_vorrat_subprogramme(pr text) RETURNS json LANGUAGE sql AS $f$
  SELECT json_build_object('a', 'userverwaltung.programm:subprogramme', 'p', json_build_array(pr),
    'z', COALESCE((SELECT json_agg(json_build_array(s) ORDER BY s DESC) FROM
      (SELECT DISTINCT subprogramm AS s FROM uv_programm WHERE programmname = pr) x), '[]'))
$f$;

CREATE OR REPLACE FUNCTION uv_vorrat_stufen(pr text, sp text) RETURNS json LANGUAGE sql AS $f$
  SELECT json_build_object('a', 'userverwaltung.programm:stufen', 'p', json_build_array(pr, sp),
    'z', COALESCE((SELECT json_agg(json_build_array(berechtigungsstufe, subprogramm)
                                   ORDER BY subprogramm DESC, berechtigungsstufe DESC)
                   FROM uv_programm WHERE programmname = pr AND (sp = '' OR subprogramm = sp)), '[]'))
$f$;

CREATE OR REPLACE FUNCTION uv_vorrat_stufe(k text[]) RETURNS json LANGUAGE sql AS $f$
  SELECT json_build_object('o', 'userverwaltung.programm', 'id', array_to_string(k, '||'),
    'da', EXISTS (SELECT 1 FROM uv_programm WHERE programmname = k[1] AND subprogramm = k[2]
                  AND berechtigungsstufe = k[3]),
    'l', uv_liste('s', k)::json)
$f$;

CREATE OR REPLACE FUNCTION uv_vorrat_mitarbeiter(fa text) RETURNS json LANGUAGE sql AS $f$
  SELECT json_build_object('a', 'kv.parpersedv:liste', 'p', json_build_array(fa),
    'z', COALESCE((SELECT json_agg(json_build_array(pcode, pname) ORDER BY pcode) FROM kv_parpersedv
                   WHERE firma = fa), '[]'))
$f$;

-- The three lists a window opens with, in one request.
CREATE OR REPLACE FUNCTION uv_listen(fa text) RETURNS text LANGUAGE sql AS $f$
  SELECT json_build_object('e', '', 'v', json_build_array(uv_vorrat_mitarbeiter(fa), uv_vorrat_gruppen(),
                                                          uv_vorrat_programme()))::text
$f$;

-- At sign-on, in one request: the user's records, and for an active
-- administrator whose password matches what the window reads next (the
-- log's newest entry and the three lists).
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
END $f$;
