-- Row-level policies that hold the operators' access rules on PostgreSQL, for every role that does not
-- own the tables (the application server's qel_leitor): each fact table keeps the rows whose column of
-- every restricted dimension holds an allowed key, and each dimension's own table the rows of its
-- allowed keys. The operator is read from the session setting qel.operator, which the server sets for
-- each call ('*': every row, for a server that trusts its clients); without it no row is visible.
-- Built from the catalogue's links: run again (scripts/load_postgres.sh does) when they change.
DO $$
DECLARE
  t record;
  pair record;
  op constant text := 'current_setting(''qel.operator'', true)';
  cond text;
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
    cond := '';
    FOR pair IN
      SELECT DISTINCT lower(coluna) AS coluna, seq FROM (
        SELECT CDTABELADW AS tabela, CDITEMDIME AS coluna, NRSEQUEDIME AS seq FROM DIMENSAODW
        UNION SELECT CDTABELADIME, DSPKDIME, NRSEQUEDIME FROM DIMENSAODIME WHERE coalesce(CDTABELADIME, '') <> '') y
      WHERE lower(tabela) = t.tabela
    LOOP
      cond := cond || format(
        ' AND (CASE WHEN EXISTS (SELECT 1 FROM dimeodwoper WHERE cdoperador = %1$s)'
        ' THEN NOT EXISTS (SELECT 1 FROM fildimeoper WHERE nrsequedime = %2$L AND cdoperador = %1$s)'
        '   OR %3$I::text IN (SELECT cdfildimeoper FROM fildimeoper WHERE nrsequedime = %2$L AND cdoperador = %1$s)'
        ' ELSE NOT EXISTS (SELECT 1 FROM fildimegrupop WHERE nrsequedime = %2$L'
        '       AND cdgrupoper IN (SELECT cdgrupoper FROM opergrupop WHERE cdoperador = %1$s))'
        '   OR %3$I::text IN (SELECT cdfildimegrupop FROM fildimegrupop WHERE nrsequedime = %2$L'
        '       AND cdgrupoper IN (SELECT cdgrupoper FROM opergrupop WHERE cdoperador = %1$s)) END)',
        op, pair.seq, pair.coluna);
    END LOOP;
    EXECUTE format('ALTER TABLE %I ENABLE ROW LEVEL SECURITY', t.tabela);
    EXECUTE format('DROP POLICY IF EXISTS qel_regras ON %I', t.tabela);
    EXECUTE format('CREATE POLICY qel_regras ON %I FOR SELECT USING (coalesce(%s, '''') <> '''' AND (%s = ''*'' OR (true%s)))',
                   t.tabela, op, op, cond);
  END LOOP;
END $$;
