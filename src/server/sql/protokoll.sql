-- The change log: one entry per change, written in the change's own transaction.

-- One log entry; `kopf` is [company, branch, code, workstation], NULL when not logging.
CREATE OR REPLACE FUNCTION uv_protokollieren(kopf json, befehl text, objekt text, vorher text, nachher text,
                                             bezug bigint DEFAULT 0) RETURNS bigint LANGUAGE plpgsql AS $f$
DECLARE n bigint;
BEGIN
  IF kopf IS NULL THEN RETURN 0; END IF;
  INSERT INTO uv_protokoll (zeit, firma, filiale, pcode, rechner, befehl, objekt, vorher, nachher, bezug)
  VALUES (to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'),
          kopf->>0, kopf->>1, kopf->>2, kopf->>3, befehl, objekt, vorher, nachher, bezug)
  RETURNING nr INTO n;
  RETURN n;
END $f$;
