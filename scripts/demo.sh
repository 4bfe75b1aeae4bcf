#!/usr/bin/env bash
# Installs, builds, starts a local PostgreSQL with the demo registry and one
# demo company, and starts wPelvaro against it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
port=${WPELVARO_DEMO_PORT:-55433}
password=${WPELVARO_DEMO_PASSWORD:-kav-demo-pw}
build=${BUILD_DIR:-$root/build-demo}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DWPELVARO_REGISTRY_HOST=127.0.0.1 -DWPELVARO_REGISTRY_PORT=$port -DWPELVARO_DB_PASSWORD=$password >/dev/null
cmake --build "$build" -j"$(nproc)" --target wPelvaro
pgdir=${WPELVARO_DEMO_PGDIR:-/tmp/wpelvaro-demo-pg}
fresh=0; [ -f "$pgdir/PG_VERSION" ] || fresh=1
"$root/scripts/pg.sh" start "$pgdir" "$port" "$password"
trap '"$root/scripts/pg.sh" stop "$pgdir"' EXIT
psql_su() { psql -h 127.0.0.1 -p "$port" -U postgres -v ON_ERROR_STOP=1 -qtA "$@"; }
if [ "$fresh" = 1 ]; then
  psql_su -d postgres -c "create database kav_mob owner kav" -c "create database demo_alimentara owner kav"
  psql_su -d kav_mob -f "$root/data/sql/registry.sql"
  psql_su -d kav_mob -c "insert into m_firma(nume_firma, ip, port, db_name, pw_hash_type) values ('Demo Alimentara SRL', '127.0.0.1', $port, 'demo_alimentara', 'HashSHA2')"
  psql_su -d demo_alimentara -f "$root/data/sql/company.sql"
  psql_su -d demo_alimentara -f "$root/data/sql/demo.sql"
  psql_su -d kav_mob -c "grant select on all tables in schema public to kav"
  psql_su -d demo_alimentara -c "grant select, insert, update, delete on all tables in schema public to kav" \
          -c "grant usage on all sequences in schema public to kav"
fi
export XDG_CONFIG_HOME=${WPELVARO_DEMO_CONFIG:-/tmp/wpelvaro-demo-config}  # keeps the user's own remembered login untouched
mkdir -p "$XDG_CONFIG_HOME"
cat <<TXT

  wPelvaro demo (PostgreSQL on 127.0.0.1:$port)
    Company:  Demo Alimentara SRL
    UserName: operator
    Password: demo123

TXT
"$build/shell/wPelvaro"
