#!/usr/bin/env bash
# Throw-away PostgreSQL cluster with SSL (self-signed certificate made at start).
#   scripts/pg.sh start DIR PORT PASSWORD   creates (if needed) and starts it; role "kav" gets PASSWORD
#   scripts/pg.sh stop DIR
# The server runs as the "postgres" system user when started by root, which
# PostgreSQL requires; DIR is then owned by that user.
set -euo pipefail
cmd=$1; dir=$2
PGBIN=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
run() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
case "$cmd" in
start)
  port=$3; password=$4
  if [ ! -f "$dir/PG_VERSION" ]; then
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir"
    chmod 700 "$dir"
    run "$PGBIN/initdb" -D "$dir" -U postgres --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >/dev/null
    run openssl req -new -x509 -days 3650 -nodes -subj "/CN=localhost" \
        -keyout "$dir/server.key" -out "$dir/server.crt" >/dev/null 2>&1
    run chmod 600 "$dir/server.key"
    cat >> "$dir/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
port = $port
ssl = on
ssl_cert_file = 'server.crt'
ssl_key_file = 'server.key'
unix_socket_directories = '$dir'
fsync = off
synchronous_commit = off
full_page_writes = off
shared_buffers = 256MB
work_mem = 64MB
max_connections = 200
CONF
    # superuser "postgres" over loopback without a password, for setup and tests only
    printf 'local all all trust\nhost all postgres 127.0.0.1/32 trust\nhost all all 127.0.0.1/32 scram-sha-256\n' > "$dir/pg_hba.conf"
    [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir/pg_hba.conf" "$dir/postgresql.conf"
  fi
  run "$PGBIN/pg_ctl" -D "$dir" -l "$dir/server.log" -w -t 60 start >/dev/null
  run "$PGBIN/psql" -h "$dir" -p "$port" -U postgres -d postgres -qtA -v ON_ERROR_STOP=1 -c \
    "do \$\$ begin if not exists (select 1 from pg_roles where rolname='kav') then create role kav login; end if; end \$\$; alter role kav password '$password';" >/dev/null
  ;;
stop)
  [ -f "$dir/postmaster.pid" ] && run "$PGBIN/pg_ctl" -D "$dir" -m fast -w stop >/dev/null || true
  ;;
*) echo "usage: $0 start DIR PORT PASSWORD | stop DIR" >&2; exit 2 ;;
esac
