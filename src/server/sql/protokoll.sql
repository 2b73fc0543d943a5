-- The change log: one entry per change, written in the change's own transaction.
-- The entries form a chain: each one's hash covers the previous entry's hash
-- and its own fields, so an entry changed, removed or inserted afterwards shows.

-- The hash of an entry: the previous hash and the fields, each as its length
-- in bytes, ':' and the value (the program computes the same).
-- A NULL field adds nothing. Written as a loop: a command may log thousands of entries.
CREATE OR REPLACE FUNCTION uv_eintragshash(vor text, felder text[]) RETURNS text LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE t text := COALESCE(octet_length(vor) || ':' || vor, ''); x text;
BEGIN
  FOREACH x IN ARRAY felder LOOP
    t := t || COALESCE(octet_length(x) || ':' || x, '');
  END LOOP;
  RETURN encode(sha256(convert_to(t, 'UTF8')), 'hex');
END $f$;

-- Log entries of one command, each with its object and the contents before
-- and after (arrays of the same length), tied to entry `bezug`; the chain is
-- extended once for all of them. `kopf` is [company, branch, code,
-- workstation], NULL when not logging. Answers the last entry's number.
CREATE OR REPLACE FUNCTION uv_protokollieren_alle(kopf json, befehl text, objekte text[], vorher text[],
                                                  nachher text[], bezug bigint DEFAULT 0) RETURNS bigint
LANGUAGE plpgsql AS $f$
DECLARE n bigint := 0; vor text; f text[]; i int; anzahl int := COALESCE(array_length(objekte, 1), 0);
        nummern bigint[] := '{}'; zeiten text[] := '{}'; hashes text[] := '{}';
BEGIN
  IF kopf IS NULL OR anzahl = 0 THEN RETURN 0; END IF;
  -- One writer at a time extends the chain, until its transaction ends.
  PERFORM pg_catalog.pg_advisory_xact_lock(4711, 0);
  SELECT p.hash INTO vor FROM uv_protokoll p ORDER BY p.nr DESC LIMIT 1;
  vor := COALESCE(vor, '');
  -- The chain entry by entry, the rows in one insert.
  FOR i IN 1 .. anzahl LOOP
    n := nextval(pg_get_serial_sequence('uv_protokoll', 'nr'));
    f := ARRAY[n::text, to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'),
               COALESCE(kopf->>0, ''), COALESCE(kopf->>1, ''), COALESCE(kopf->>2, ''), COALESCE(kopf->>3, ''),
               session_user::text, befehl, objekte[i], vorher[i], nachher[i], bezug::text];
    vor := uv_eintragshash(vor, f);
    nummern := nummern || n;
    zeiten := zeiten || f[2];
    hashes := hashes || vor;
  END LOOP;
  INSERT INTO uv_protokoll (nr, zeit, firma, filiale, pcode, rechner, rolle, befehl, objekt, vorher, nachher,
                            bezug, hash)
  SELECT x.nr, x.zeit, COALESCE(kopf->>0, ''), COALESCE(kopf->>1, ''), COALESCE(kopf->>2, ''),
         COALESCE(kopf->>3, ''), session_user::text, befehl, x.objekt, x.vorher, x.nachher, bezug, x.hash
    FROM unnest(nummern, zeiten, objekte, vorher, nachher, hashes) AS x(nr, zeit, objekt, vorher, nachher, hash)
   ORDER BY x.nr;
  RETURN n;
END $f$;

-- One log entry.
CREATE OR REPLACE FUNCTION uv_protokollieren(kopf json, befehl text, objekt text, vorher text, nachher text,
                                             bezug bigint DEFAULT 0) RETURNS bigint LANGUAGE sql AS $f$
  SELECT uv_protokollieren_alle(kopf, befehl, ARRAY[objekt], ARRAY[vorher], ARRAY[nachher], bezug)
$f$;
