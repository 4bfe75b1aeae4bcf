#!/usr/bin/env bash
# Builds everything with AddressSanitizer, LeakSanitizer and UBSan in
# build-asan, starts its own throw-away PostgreSQL, runs the whole ctest
# suite and writes the outcome into docs/reliability.md.
#   scripts/sanitize.sh [ctest arguments...]
# Environment: SANITIZE_BUILD_DIR (default build-asan), SANITIZE_PG_PORT (55437), JOBS (2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SANITIZE_BUILD_DIR:-$root/build-asan}
port=${SANITIZE_PG_PORT:-55437}
password=asan-test-pw
jobs=${JOBS:-2}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWPELVARO_SANITIZE=ON \
  -DWPELVARO_REGISTRY_HOST=127.0.0.1 -DWPELVARO_REGISTRY_PORT="$port" -DWPELVARO_DB_PASSWORD="$password" >/dev/null
cmake --build "$build" -j"$jobs"

pgdir=$(mktemp -d /tmp/wpelvaro-asan-pg.XXXXXX)
"$root/scripts/pg.sh" start "$pgdir" "$port" "$password"
trap '"$root/scripts/pg.sh" stop "$pgdir"; rm -rf "$pgdir"' EXIT

export WPELVARO_TEST_HOST=127.0.0.1 WPELVARO_TEST_PORT=$port WPELVARO_TEST_PASSWORD=$password WPELVARO_TEST_PGDIR=$pgdir
# Any report fails the test that caused it; leaks are checked at exit.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan-suppressions.txt:print_suppressions=1

status=0
start=$(date +%s)
(cd "$build" && ctest --output-on-failure -j"$jobs" "$@") >"$build/sanitize.log" 2>&1 || status=$?
secs=$(( $(date +%s) - start ))
tail -n 25 "$build/sanitize.log"

log="$build/Testing/Temporary/LastTest.log"
summary=$(grep -E '^[0-9]+% tests passed' "$build/sanitize.log" | tail -n 1 || true)
asan=$(grep -c 'ERROR: AddressSanitizer' "$log" || true)
lsan=$(grep -c 'ERROR: LeakSanitizer' "$log" || true)
ubsan=$(grep -c 'runtime error:' "$log" || true)
# Which suppressions matched, and in how many test programs.
suppressed=$(grep -A4 'Suppressions used:' "$log" | grep -E '^ +[0-9]+ +[0-9]+ +[^ ]' | awk '{print $3}' | sort | uniq -c \
  | awk '{printf "%s%s (%s programs)", sep, $2, $1; sep="; "}' || true)
[ -n "$suppressed" ] || suppressed=none
python3 - "$root/docs/reliability.md" "$summary" "$asan" "$lsan" "$ubsan" "$suppressed" "$secs" <<'PY'
import sys, datetime, os
doc, summary, asan, lsan, ubsan, suppressed, secs = sys.argv[1:]
row = "| %s | %s | %s | %s | %s | %s | %s s |" % (datetime.date.today().isoformat(), summary or "ctest did not run", asan, lsan, ubsan, suppressed, secs)
text = open(doc, encoding="utf-8").read() if os.path.exists(doc) else ""
begin, end = "<!-- begin sanitize -->\n", "<!-- end sanitize -->"
head = ("| Date | ctest | AddressSanitizer reports | LeakSanitizer reports | UBSan reports | Leak suppressions that matched | Time |\n"
        "|---|---|---|---|---|---|---|\n")
section = begin + head + row + "\n" + end
if begin in text and end in text:
    text = text[:text.index(begin)] + section + text[text.index(end) + len(end):]
else:
    text += "\n" + section + "\n"
open(doc, "w", encoding="utf-8").write(text)
PY
exit "$status"
