-- Row-level policies that hold the operators' access rules on PostgreSQL, for every role that does not
-- own the tables (the application server's qel_leitor): each fact table keeps the rows whose column of
-- every restricted dimension holds an allowed key, and each dimension's own table the rows of its
-- allowed keys. The operator is read from the session setting qel.operator, which the server sets for
-- each call ('*': every row, for a server that trusts its clients); without it no row is visible.
-- A fact table's summary tables (QEL_AGREGADOS) keep the rows of the same rules; a summary without
-- a restricted dimension's column cannot tell the rows apart and shows none to an operator it restricts.
-- The rule tables show each operator their own rules only.
-- Built from the catalogue's links: run again (scripts/load_postgres.sh does, and so does
-- qelserver --build-aggregates through qel_aplicar_politicas) when they change.
CREATE OR REPLACE FUNCTION qel_politica(tabela text, base text) RETURNS void LANGUAGE plpgsql AS $f$
DECLARE
  pair record;
  op constant text := 'current_setting(''qel.operator'', true)';
  cond text := '';
  coluna text;
BEGIN
  FOR pair IN
    SELECT DISTINCT lower(c) AS c, seq FROM (
      SELECT CDTABELADW AS t, CDITEMDIME AS c, NRSEQUEDIME AS seq FROM DIMENSAODW
      UNION SELECT CDTABELADIME, DSPKDIME, NRSEQUEDIME FROM DIMENSAODIME WHERE coalesce(CDTABELADIME, '') <> '') y
    WHERE lower(t) = base
  LOOP
    coluna := CASE WHEN EXISTS (SELECT 1 FROM information_schema.columns
                                WHERE table_schema = current_schema() AND table_name = tabela AND column_name = pair.c)
                   THEN format('%I::text', pair.c) ELSE 'NULL::text' END;
    cond := cond || format(
      ' AND (CASE WHEN EXISTS (SELECT 1 FROM dimeodwoper WHERE cdoperador = %1$s)'
      ' THEN NOT EXISTS (SELECT 1 FROM fildimeoper WHERE nrsequedime = %2$L AND cdoperador = %1$s)'
      '   OR %3$s IN (SELECT cdfildimeoper FROM fildimeoper WHERE nrsequedime = %2$L AND cdoperador = %1$s)'
      ' ELSE NOT EXISTS (SELECT 1 FROM fildimegrupop WHERE nrsequedime = %2$L'
      '       AND cdgrupoper IN (SELECT cdgrupoper FROM opergrupop WHERE cdoperador = %1$s))'
      '   OR %3$s IN (SELECT cdfildimegrupop FROM fildimegrupop WHERE nrsequedime = %2$L'
      '       AND cdgrupoper IN (SELECT cdgrupoper FROM opergrupop WHERE cdoperador = %1$s)) END IS TRUE)',
      op, pair.seq, coluna);
  END LOOP;
  EXECUTE format('ALTER TABLE %I ENABLE ROW LEVEL SECURITY', tabela);
  EXECUTE format('DROP POLICY IF EXISTS qel_regras ON %I', tabela);
  EXECUTE format('CREATE POLICY qel_regras ON %I FOR SELECT USING (coalesce(%s, '''') <> '''' AND (%s = ''*'' OR (true%s)))',
                 tabela, op, op, cond);
END $f$;

CREATE OR REPLACE FUNCTION qel_aplicar_politicas() RETURNS void LANGUAGE plpgsql AS $f$
DECLARE
  t record;
BEGIN
  IF to_regclass('dimensaodw') IS NULL OR to_regclass('dimensaodime') IS NULL THEN
    RETURN;  -- a database without the catalogue holds no warehouse tables to guard
  END IF;
  FOR t IN
    SELECT DISTINCT lower(tabela) AS tabela FROM (
      SELECT CDTABELADW AS tabela FROM DIMENSAODW
      UNION SELECT CDTABELADIME FROM DIMENSAODIME WHERE coalesce(CDTABELADIME, '') <> '') x
    WHERE to_regclass(lower(tabela)) IS NOT NULL
  LOOP
    PERFORM qel_politica(t.tabela, t.tabela);
  END LOOP;
  -- The access rules themselves: an operator reads their own rows at most.
  FOR t IN SELECT unnest(ARRAY['fildimeoper', 'dimeodwoper', 'opergrupop', 'fildimegrupop']) AS tabela
  LOOP
    IF to_regclass(t.tabela) IS NOT NULL THEN
      EXECUTE format('ALTER TABLE %I ENABLE ROW LEVEL SECURITY', t.tabela);
      EXECUTE format('DROP POLICY IF EXISTS qel_regras ON %I', t.tabela);
      EXECUTE format('CREATE POLICY qel_regras ON %I FOR SELECT USING (coalesce(current_setting(''qel.operator'', true), '''') <> '''''
                     ' AND (current_setting(''qel.operator'', true) = ''*'' OR %s))', t.tabela,
                     CASE WHEN t.tabela = 'fildimegrupop'
                          THEN 'cdgrupoper IN (SELECT cdgrupoper FROM opergrupop WHERE cdoperador = current_setting(''qel.operator'', true))'
                          ELSE 'cdoperador = current_setting(''qel.operator'', true)' END);
    END IF;
  END LOOP;
  IF to_regclass('qel_agregados') IS NOT NULL THEN
    FOR t IN EXECUTE 'SELECT lower(cdtabelaagr) AS tabela, lower(cdtabeladw) AS base FROM qel_agregados'
    LOOP
      IF to_regclass(t.tabela) IS NOT NULL THEN
        PERFORM qel_politica(t.tabela, t.base);
      END IF;
    END LOOP;
  END IF;
END $f$;

REVOKE ALL ON FUNCTION qel_politica(text, text) FROM PUBLIC;
REVOKE ALL ON FUNCTION qel_aplicar_politicas() FROM PUBLIC;
SELECT qel_aplicar_politicas();
