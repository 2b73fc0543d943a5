-- Who is signed on at this connection. A server process's session is a row
-- of uv_sitzung keyed by its process id and a random key that only this
-- process holds (a setting of its own): a later process with the same id
-- does not have it, so the session of an ended process counts for nothing.
-- The password never travels: the client answers a challenge used once with
-- HMAC-SHA256 keyed by the password over "challenge|company|code".

CREATE OR REPLACE FUNCTION uv_beweis(herausforderung text, fa text, code text, pw text) RETURNS text
LANGUAGE sql AS $f$
  SELECT encode(hmac(convert_to(herausforderung || '|' || fa || '|' || code, 'UTF8'), convert_to(pw, 'UTF8'),
                     'sha256'), 'hex')
$f$;

-- This process's session row, made (without anybody signed on) when missing.
CREATE OR REPLACE FUNCTION uv_sitzung_jetzt() RETURNS uv_sitzung LANGUAGE plpgsql AS $f$
DECLARE s uv_sitzung; k text := current_setting('korval.sitzung', true);
BEGIN
  SELECT * INTO s FROM uv_sitzung WHERE pid = pg_backend_pid() AND schluessel = k FOR UPDATE;
  IF FOUND THEN RETURN s; END IF;
  k := gen_random_uuid()::text;
  PERFORM set_config('korval.sitzung', k, false);
  INSERT INTO uv_sitzung (pid, schluessel, beginn, herausforderung, rolle)
  VALUES (pg_backend_pid(), k, to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'), '',
          session_user)
  ON CONFLICT (pid) DO UPDATE SET schluessel = excluded.schluessel, beginn = excluded.beginn,
    herausforderung = '', firma = NULL, filiale = NULL, pcode = NULL, verwalter = false, rolle = excluded.rolle
  RETURNING * INTO s;
  RETURN s;
END $f$;

-- A fresh challenge for the next sign-on or look-up.
CREATE OR REPLACE FUNCTION uv_herausforderung() RETURNS text LANGUAGE plpgsql AS $f$
DECLARE s uv_sitzung := uv_sitzung_jetzt(); h text := gen_random_uuid()::text;
BEGIN
  UPDATE uv_sitzung SET herausforderung = h WHERE pid = s.pid;
  RETURN h;
END $f$;

-- The challenge given out last, taken: each one answers once.
CREATE OR REPLACE FUNCTION uv_herausforderung_nehmen() RETURNS text LANGUAGE plpgsql AS $f$
DECLARE s uv_sitzung := uv_sitzung_jetzt();
BEGIN
  UPDATE uv_sitzung SET herausforderung = '' WHERE pid = s.pid;
  RETURN s.herausforderung;
END $f$;

-- The header of a change's log entry from the session: refused without an
-- administrator signed on, whatever the client claims.
CREATE OR REPLACE FUNCTION uv_kopf(rechner text) RETURNS json LANGUAGE plpgsql AS $f$
DECLARE s uv_sitzung;
BEGIN
  SELECT * INTO s FROM uv_sitzung WHERE pid = pg_backend_pid() AND schluessel = current_setting('korval.sitzung', true);
  IF NOT FOUND OR s.pcode IS NULL THEN
    RAISE EXCEPTION USING ERRCODE = 'KV119', MESSAGE = '<KEINE BERECHTIGUNG>';
  END IF;
  IF NOT s.verwalter THEN
    RAISE EXCEPTION USING ERRCODE = 'KV119', MESSAGE = '<KEINE BERECHTIGUNG> ' || s.pcode;
  END IF;
  RETURN json_build_array(s.firma, s.filiale, s.pcode, COALESCE(rechner, ''));
END $f$;

-- The same for what the login dialog may change before anyone signs on (the
-- connection list): whoever is signed on at this connection, if anyone.
CREATE OR REPLACE FUNCTION uv_kopf_frei(rechner text) RETURNS json LANGUAGE sql AS $f$
  SELECT json_build_array(COALESCE(s.firma, ''), COALESCE(s.filiale, ''), COALESCE(s.pcode, ''), COALESCE(rechner, ''))
    FROM (SELECT NULL) x LEFT JOIN uv_sitzung s ON s.pid = pg_backend_pid()
     AND s.schluessel = current_setting('korval.sitzung', true)
$f$;

-- Whether a permission group allows this program: 8 or more.
CREATE OR REPLACE FUNCTION uv_verwaltergruppe(bergrp text) RETURNS boolean LANGUAGE sql AS $f$
  SELECT replace(trim(bergrp), ',', '.') ~ '^[0-9]+([.][0-9]+)?$' AND replace(trim(bergrp), ',', '.')::numeric >= 8
$f$;

-- The sign-on: checks the answer to the challenge and the active flag, and
-- records the session (replacing the one before; a failed or lesser sign-on
-- leaves none that may change anything). Answers the user's record (never
-- the password), for an administrator what the window reads next (the log's
-- newest entry and the three lists), whether it succeeded and the next challenge.
-- With `heute`, an administrator's sign-on first ends the memberships whose
-- date has passed (logged from workstation `rechner`); should that fail, the
-- sign-on still succeeds and the next one or the timer tries again.
CREATE OR REPLACE FUNCTION uv_anmelden(fa text, fil text, code text, beweis text, rechner text DEFAULT '',
                                       heute text DEFAULT '') RETURNS text
LANGUAGE plpgsql AS $f$
DECLARE h text := uv_herausforderung_nehmen(); u kv_parpersedv; da boolean; ok boolean; ist_verwalter boolean;
        v json[] := ARRAY[]::json[];
BEGIN
  SELECT * INTO u FROM kv_parpersedv WHERE firma = fa AND pcode = code;
  da := FOUND;
  ok := da AND h <> '' AND u.aktiv = 'J' AND uv_beweis(h, fa, code, u.passwort) = beweis;
  ist_verwalter := ok AND uv_verwaltergruppe(u.bergrp);
  UPDATE uv_sitzung SET firma = CASE WHEN ok THEN fa END, filiale = CASE WHEN ok THEN fil END,
         pcode = CASE WHEN ok THEN code END, verwalter = ist_verwalter
   WHERE pid = pg_backend_pid();
  IF da THEN
    v := ARRAY[json_build_object('o', 'kv.parpersedv', 'id', fa || '||' || code, 'da', true,
                                 'f', to_jsonb(u) - 'passwort')];
  END IF;
  IF ist_verwalter AND heute <> '' THEN
    BEGIN
      PERFORM uv_ablauf(rechner, heute);
    EXCEPTION WHEN OTHERS THEN
      NULL;
    END;
  END IF;
  IF ist_verwalter THEN
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
  RETURN json_build_object('e', CASE WHEN ok THEN '1' ELSE '' END, 'v', to_json(v), 'h', uv_herausforderung())::text;
END $f$;

-- The login window's look-up of the code by the password alone: the answer
-- carries no code, the server finds it among the company's active users.
CREATE OR REPLACE FUNCTION uv_code_suchen(fa text, beweis text) RETURNS text LANGUAGE plpgsql AS $f$
DECLARE h text := uv_herausforderung_nehmen(); code text;
BEGIN
  -- One HMAC per active user: written out here (a function call per row
  -- would cost more than the HMAC) and compared as bytes.
  IF h <> '' AND beweis ~ '^[0-9a-f]{64}$' THEN
    SELECT p.pcode INTO code FROM kv_parpersedv p WHERE p.firma = fa AND p.aktiv = 'J'
       AND hmac(convert_to(h || '|' || fa || '|', 'UTF8'), convert_to(p.passwort, 'UTF8'), 'sha256')
           = decode(beweis, 'hex')
     ORDER BY p.pcode LIMIT 1;
  END IF;
  RETURN json_build_object('e', COALESCE(code, ''), 'v', json_build_array(), 'h', uv_herausforderung())::text;
END $f$;
