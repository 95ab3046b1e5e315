-- The role the application server logs in as on PostgreSQL: it may read the warehouse and the
-- catalogue tables, and nothing else (no temporary tables, no new objects, no superuser functions).
-- Run by the tables' owner after the tables are loaded; scripts/load_postgres.sh does. Give it a
-- password where the database asks for one: ALTER ROLE qel_leitor PASSWORD '…';
DO $$
BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'qel_leitor') THEN
    CREATE ROLE qel_leitor LOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION NOINHERIT;
  END IF;
  EXECUTE format('REVOKE TEMPORARY ON DATABASE %I FROM PUBLIC', current_database());
  EXECUTE format('GRANT CONNECT ON DATABASE %I TO qel_leitor', current_database());
END $$;
REVOKE CREATE ON SCHEMA public FROM PUBLIC;
GRANT USAGE ON SCHEMA public TO qel_leitor;
GRANT SELECT ON ALL TABLES IN SCHEMA public TO qel_leitor;
