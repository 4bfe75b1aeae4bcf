#!/usr/bin/env bash
# Fuzzes the remembered-login reader and the statement parameter parser with
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer (clang).
#   scripts/fuzz.sh [SECONDS] [TARGET...]   run each target SECONDS (default 600), one after the other
# Targets: login_reader, param_parser (default both). The build goes to
# build-fuzz; new inputs go to build-fuzz/corpus/TARGET. The hand-written
# seeds in tests/fuzz/seeds/TARGET are kept as they are; at the end the stored
# corpus tests/fuzz/corpus/TARGET is replaced by a minimised merge (-merge=1)
# of the inputs the seeds do not already cover, seeds and corpus together at
# most 50 files, and the run's figures are written into docs/reliability.md.
# A crash stops with its reproducer in build-fuzz.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
secs=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(login_reader param_parser)
CXX=${CXX_FUZZ:-clang++}
mkdir -p "$build"

qt_cflags=$(pkg-config --cflags Qt6Core)
qt_libs=$(pkg-config --libs Qt6Core)
flags=(-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$root")

declare -A sources=(
  [login_reader]="$root/platform/storage/LoginStore.cpp"
  [param_parser]="$root/platform/pg/ParamParser.cpp"
)

for t in "${targets[@]}"; do
  src=${sources[$t]:?unknown target $t}
  bin="$build/fuzz_$t"
  echo "== building $t"
  # shellcheck disable=SC2086
  $CXX "${flags[@]}" $qt_cflags "$root/tests/fuzz/fuzz_$t.cpp" $src -o "$bin" $qt_libs
  stored="$root/tests/fuzz/corpus/$t"
  seeds="$root/tests/fuzz/seeds/$t"
  work="$build/corpus/$t"
  mkdir -p "$work" "$stored" "$seeds"
  log="$build/fuzz_$t.log"
  echo "== fuzzing $t for $secs s (log: $log)"
  status=0
  (cd "$build" && "$bin" -max_total_time="$secs" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/crash_${t}_" "$work" "$stored" "$seeds") >"$log" 2>&1 || status=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -n 1 || true)
  crashes=$(find "$build" -maxdepth 1 -name "crash_${t}_*" | wc -l)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*' || true)
  echo "   exit $status, ${execs:-?} executions, $crashes crash files, coverage ${cov:-?}"
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log"
    exit "$status"
  fi
  # Keep the stored corpus small: starting from the seeds, only inputs that
  # add coverage are merged in.
  merged="$build/merged_$t"
  rm -rf "$merged" && mkdir -p "$merged"
  cp "$seeds"/* "$merged"/
  "$bin" -merge=1 -max_len=4096 "$merged" "$stored" "$work" >"$build/merge_$t.log" 2>&1
  for f in "$seeds"/*; do rm -f "$merged/$(basename "$f")"; done
  room=$(( 50 - $(ls "$seeds" | wc -l) ))
  if [ "$(ls "$merged" | wc -l)" -gt "$room" ]; then
    # The smallest inputs first: they replay fastest and read best.
    ls -S -r "$merged" | tail -n +$((room + 1)) | (cd "$merged" && xargs rm -f)
  fi
  files=$(( $(ls "$merged" | wc -l) + $(ls "$seeds" | wc -l) ))
  rm -rf "$stored" && mkdir -p "$stored" && { [ -z "$(ls "$merged")" ] || cp "$merged"/* "$stored"/; }
  python3 - "$root/docs/reliability.md" "$t" "$secs" "${execs:-0}" "$crashes" "$files" "${cov:-?}" <<'PY'
import sys, datetime, re
doc, target, secs, execs, crashes, files, cov = sys.argv[1:]
row = "| `%s` | %s s | %s | %s | %s | %s | %s |" % (target, secs, f"{int(execs):,}", crashes, cov, files, datetime.date.today().isoformat())
text = open(doc, encoding="utf-8").read() if __import__("os").path.exists(doc) else ""
begin, end = "<!-- begin fuzz -->\n", "<!-- end fuzz -->"
head = "| Target | Time | Executions | Crashes | Coverage (edges) | Corpus files kept | Date |\n|---|---|---|---|---|---|---|\n"
if begin in text and end in text:
    b = text.index(begin) + len(begin); e = text.index(end)
    rows = [l for l in text[b:e].splitlines() if l.startswith("| `")]
else:
    rows = []
rows = [l for l in rows if not l.startswith("| `%s`" % target)] + [row]
rows.sort()
section = begin + head + "\n".join(rows) + "\n" + end
if begin in text and end in text:
    text = text[:text.index(begin)] + section + text[text.index(end) + len(end):]
else:
    text += "\n" + section + "\n"
open(doc, "w", encoding="utf-8").write(text)
PY
done
