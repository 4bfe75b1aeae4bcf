#!/usr/bin/env bash
# Installs, builds, starts a throw-away PostgreSQL (SSL, own port), runs ctest, stops the server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
export WPELVARO_TEST_HOST=127.0.0.1
export WPELVARO_TEST_PORT=${WPELVARO_TEST_PORT:-55432}
export WPELVARO_TEST_PASSWORD=${WPELVARO_TEST_PASSWORD:-kav-test-pw}
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DWPELVARO_REGISTRY_HOST=127.0.0.1 -DWPELVARO_REGISTRY_PORT=$WPELVARO_TEST_PORT \
  -DWPELVARO_DB_PASSWORD=$WPELVARO_TEST_PASSWORD >/dev/null
cmake --build "$build" -j"$(nproc)"
pgdir=$(mktemp -d /tmp/wpelvaro-pg.XXXXXX)
export WPELVARO_TEST_PGDIR=$pgdir
"$root/scripts/pg.sh" start "$pgdir" "$WPELVARO_TEST_PORT" "$WPELVARO_TEST_PASSWORD"
trap '"$root/scripts/pg.sh" stop "$pgdir"; rm -rf "$pgdir"' EXIT
cd "$build"
ctest --output-on-failure -j2 "$@"
