-- What the window shows next, read in the command's transaction, and what it
-- reads at sign-on (sitzung.sql): the rows of the queries it would ask (as the in-process
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

-- The three lists a window opens with, in one request: for an administrator
-- signed on at this connection only.
CREATE OR REPLACE FUNCTION uv_listen(fa text) RETURNS text LANGUAGE plpgsql AS $f$
BEGIN
  PERFORM uv_kopf('');
  RETURN json_build_object('e', '', 'v', json_build_array(uv_vorrat_mitarbeiter(fa), uv_vorrat_gruppen(),
                                                          uv_vorrat_programme()))::text;
END $f$;
