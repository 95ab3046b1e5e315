#!/usr/bin/env bash
# The main job: builds what is needed, creates the demo warehouse, starts qelserver on a free
# loopback port and opens the host shell against it; the server stops when the host exits.
#   scripts/demo.sh            interactive prompt (type: open, dump, key F5, closebox, ...)
#   scripts/demo.sh --script   runs the bundled tour and prints its states
#   OPERATOR=MARIA scripts/demo.sh   logs in as another operator (demo passwords: ADMIN admin,
#                                    MARIA maria, JOAO joao; QEL_PASSWORD gives another)
#   QEL_DB=postgresql://... scripts/demo.sh   uses a PostgreSQL database loaded by load_postgres.sh
#   QEL_DB=clickhouse://... scripts/demo.sh   a ClickHouse database loaded by load_clickhouse.sh; with
#     QEL_CLICKHOUSE_OWNER=clickhouse://... and QEL_CLICKHOUSE_CONFIG=FOLDER the server also runs a
#     restricted operator's statements (see the README)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
bin=build/bin
db=${QEL_DB:-build/demo.db}
if [ -z "${QEL_DB:-}" ]; then
  rm -f "$db"
  cat demo/catalogue_schema.sql demo/access_rules_schema.sql demo/operators_schema.sql demo/warehouse.sql | sqlite3 "$db"
  for login in ADMIN:admin MARIA:maria JOAO:joao; do
    echo "${login#*:}" | "$bin/qelserver" --db "$db" --set-password "${login%%:*}" >/dev/null
  done
  "$bin/qelserver" --db "$db" --build-aggregates >/dev/null  # the fact tables' summaries, where they pay
fi
operator=${OPERATOR:-ADMIN}
if [ -z "${QEL_PASSWORD:-}" ]; then
  case "$operator" in ADMIN) export QEL_PASSWORD=admin ;; MARIA) export QEL_PASSWORD=maria ;; JOAO) export QEL_PASSWORD=joao ;; esac
fi

serverArgs=(--db "$db" --listen 127.0.0.1:0)
if [ -n "${QEL_CLICKHOUSE_OWNER:-}" ]; then
  serverArgs+=(--clickhouse-owner "$QEL_CLICKHOUSE_OWNER" --clickhouse-config "${QEL_CLICKHOUSE_CONFIG:?falta QEL_CLICKHOUSE_CONFIG}")
fi
log=$(mktemp)
"$bin/qelserver" "${serverArgs[@]}" >"$log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -f "$log"' EXIT
port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's/^qelserver: listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$log")
  [ -n "$port" ] && break
  kill -0 $server 2>/dev/null || { cat "$log" >&2; exit 1; }
  sleep 0.05
done
[ -n "$port" ] || { echo "demo: the server did not start" >&2; cat "$log" >&2; exit 1; }
echo "demo: qelserver on 127.0.0.1:$port, catalogue $db" >&2

args=(--server "127.0.0.1:$port" --database "$db" --operator "$operator")
if [ "${1:-}" = "--script" ]; then
  "$bin/qelhost" "${args[@]}" --script demo/tour.qel
else
  "$bin/qelhost" "${args[@]}"
fi
