#!/usr/bin/env bash
# Benchmarks: starts a throw-away PostgreSQL of its own, loads the generated
# company (once per size), builds the benchmark programs and runs them.
#
#   scripts/bench.sh              1,000,000 invoice lines
#   N=100000 scripts/bench.sh     another size (reloads the data)
#   scripts/bench.sh data         only starts the server and loads the data (kept running)
#   scripts/bench.sh stop         stops the benchmark server
#
# The server keeps its data in /tmp/wpelvaro-bench-pg (WPELVARO_BENCH_PGDIR)
# and listens on 127.0.0.1:55434 (WPELVARO_BENCH_PORT); it is stopped at the
# end unless WPELVARO_BENCH_KEEP=1. Extra arguments go to bench_fetch
# (e.g. "open xlsx" to run only those paths, "--reps 5").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pgdir=${WPELVARO_BENCH_PGDIR:-/tmp/wpelvaro-bench-pg}
export WPELVARO_BENCH_HOST=127.0.0.1
export WPELVARO_BENCH_PORT=${WPELVARO_BENCH_PORT:-55434}
export WPELVARO_BENCH_PASSWORD=${WPELVARO_BENCH_PASSWORD:-kav-bench-pw}
export WPELVARO_BENCH_DB=bench_company
n=${N:-1000000}
build=${BUILD_DIR:-$root/build-bench}

if [ "${1:-}" = stop ]; then
  "$root/scripts/pg.sh" stop "$pgdir"
  exit 0
fi

super() { PGOPTIONS="-c client_min_messages=warning" psql -h "$pgdir" -p "$WPELVARO_BENCH_PORT" -U postgres -v ON_ERROR_STOP=1 -qtA "$@"; }

# A server left running by "data" or WPELVARO_BENCH_KEEP=1 is used as it is.
if ! pg_isready -q -h "$pgdir" -p "$WPELVARO_BENCH_PORT"; then
  "$root/scripts/pg.sh" start "$pgdir" "$WPELVARO_BENCH_PORT" "$WPELVARO_BENCH_PASSWORD"
fi
only_data=0
if [ "${1:-}" = data ]; then only_data=1; WPELVARO_BENCH_KEEP=1; shift; fi
if [ "${WPELVARO_BENCH_KEEP:-0}" != 1 ]; then
  trap '"$root/scripts/pg.sh" stop "$pgdir"' EXIT
fi
# Statement counts for the sign-in come from pg_stat_statements, which must
# be loaded when the server starts.
if [ "$(super -d postgres -c 'show shared_preload_libraries')" != pg_stat_statements ]; then
  super -d postgres -c "alter system set shared_preload_libraries = 'pg_stat_statements'"
  "$root/scripts/pg.sh" stop "$pgdir"
  "$root/scripts/pg.sh" start "$pgdir" "$WPELVARO_BENCH_PORT" "$WPELVARO_BENCH_PASSWORD"
fi
super -d postgres -c "create extension if not exists pg_stat_statements"

# The data is loaded again only when the size or the generator changed.
stamp="n=$n $(cat "$root/data/sql/company.sql" "$root/bench/generate.sql" | sha1sum | cut -c1-12)"
have=$(super -d postgres -c "select shobj_description(oid, 'pg_database') from pg_database where datname = '$WPELVARO_BENCH_DB'")
if [ "$have" != "$stamp" ]; then
  echo "loading $n invoice lines into $WPELVARO_BENCH_DB ..."
  start=$(date +%s)
  super -d postgres -c "drop database if exists $WPELVARO_BENCH_DB with (force)" -c "create database $WPELVARO_BENCH_DB"
  super -d "$WPELVARO_BENCH_DB" -f "$root/data/sql/company.sql"
  super -d "$WPELVARO_BENCH_DB" -v n="$n" -f "$root/bench/generate.sql"
  super -d "$WPELVARO_BENCH_DB" -c "grant select, insert, update, delete on all tables in schema public to kav" \
        -c "grant usage on all sequences in schema public to kav" \
        -c "comment on database $WPELVARO_BENCH_DB is '$stamp'"
  echo "loaded in $(( $(date +%s) - start )) s"
fi
# The registry the sign-in reads first; its database name is fixed in the program.
super -d postgres -c "drop database if exists kav_mob with (force)" -c "create database kav_mob"
super -d kav_mob -f "$root/data/sql/registry.sql"
super -d kav_mob -c "insert into m_firma (nume_firma, ip, port, db_name, activ, m_site, pw_hash_type)
                     values ('Bench Company', '127.0.0.1', $WPELVARO_BENCH_PORT, '$WPELVARO_BENCH_DB', true, false, 'HashSHA2')" \
      -c "grant select on all tables in schema public to kav"
[ "$only_data" = 1 ] && exit 0

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
targets="bench_fetch bench_floor_libpq bench_floor_xlsx bench_start"
grep -q 'bench_grid' "$root/bench/CMakeLists.txt" && targets="$targets bench_grid"
cmake --build "$build" -j2 --target $targets

export QT_QPA_PLATFORM=offscreen
export WPELVARO_BENCH_BIN="$build/bench"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(free -g | awk '/Mem:/ {print $2}') GB," \
     "Debian $(cat /etc/debian_version), $(super -d postgres -c 'select version()' | cut -d' ' -f1-2)"
echo "load while starting: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/bench_fetch" "$@"
if [ -x "$build/bench/bench_grid" ]; then
  "$build/bench/bench_grid"
fi
echo "load when done: $(cut -d' ' -f1-3 /proc/loadavg)"
