#!/usr/bin/env bash
# Loads the demo warehouse into a PostgreSQL database, from the same SQL files the SQLite demo uses,
# and installs the reading role the application server logs in as (qel_leitor: it may only read the
# warehouse and the catalogue; see demo/postgres_reader.sql) and the row policies that hold the access
# rules for it (demo/postgres_policies.sql; run that file again after changing the catalogue's links):
#   scripts/load_postgres.sh postgresql://OWNER@HOST:PORT/DATABASE
# The database must exist and be empty. Then run the demo against it as the reading role:
#   QEL_DB=postgresql://qel_leitor@HOST:PORT/DATABASE bash scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
uri=${1:?uso: scripts/load_postgres.sh postgresql://USUÁRIO@HOST:PORTA/BANCO}
cat demo/catalogue_schema.sql demo/access_rules_schema.sql demo/operators_schema.sql demo/warehouse.sql \
    demo/postgres_reader.sql demo/postgres_policies.sql |
  psql --quiet --set ON_ERROR_STOP=1 "$uri" >/dev/null
# The demo operators' passwords (ADMIN admin, MARIA maria, JOAO joao), hashed by the server.
bash scripts/build.sh >/dev/null
for login in ADMIN:admin MARIA:maria JOAO:joao; do
  echo "${login#*:}" | build/bin/qelserver --db "$uri" --set-password "${login%%:*}" >/dev/null
done
build/bin/qelserver --db "$uri" --build-aggregates >/dev/null  # the fact tables' summaries, where they pay
echo "load_postgres: demo warehouse loaded into $uri; the server reads it as the role qel_leitor"
