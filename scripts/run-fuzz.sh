#!/usr/bin/env bash
# Runs every fuzz target of a PELLORAN_FUZZ build folder for a while, one
# after the other, one process each (the machine is shared).
#   scripts/run-fuzz.sh [build-fuzz] [seconds per target]
# Each target starts from the inputs it found before (<build>/fuzz/corpus/<name>,
# kept between runs), the seeds written by make_seeds, and read-only extras:
# the PNG suite (tests/data/pngsuite, else ../shared/testdata/pngsuite) and
# the M3G files of PELLORAN_CORPUS (default ../shared/testdata) where they exist.
# A crash, a sanitizer report, a pool leak or a hang fails the run; the input
# is kept as <build>/fuzz/findings/<name>-*. FUZZ_TARGETS="png m3g" picks targets.
set -euo pipefail
BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-300}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
OUT=$BUILD/fuzz
CORPUS_ROOT=${PELLORAN_CORPUS:-$ROOT/../shared/testdata}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_odr_violation=0:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

extras() {
  case "$1" in
    png)
      if [ -d tests/data/pngsuite ]; then echo tests/data/pngsuite
      elif [ -d "$ROOT/../shared/testdata/pngsuite" ]; then echo "$ROOT/../shared/testdata/pngsuite"; fi ;;
    m3g)
      if [ -d "$CORPUS_ROOT/m3g" ]; then echo "$CORPUS_ROOT/m3g"; fi ;;
  esac
}

# The longest input each target is given: DataIO's records need only short
# ones (the longer, the slower each run, for no new paths).
maxlen() {
  case "$1" in
    dataio) echo 1024 ;;
    *) echo 65536 ;;
  esac
}

rm -rf "$OUT/seeds"
"$OUT/make_seeds" "$OUT/seeds"
mkdir -p "$OUT/findings"
targets=${FUZZ_TARGETS:-$(find "$OUT" -maxdepth 1 -type f -executable -name 'fuzz_*' -printf '%f\n' | sed 's/^fuzz_//' | sort)}
summary=""
status=0
for t in $targets; do
  mkdir -p "$OUT/corpus/$t"
  dirs=("$OUT/corpus/$t")
  [ -d "$OUT/seeds/$t" ] && dirs+=("$OUT/seeds/$t")
  for e in $(extras "$t"); do dirs+=("$e"); done
  echo "== fuzz_$t for ${SECONDS_EACH}s over ${dirs[*]}"
  log="$OUT/fuzz_$t.log"
  set +e
  "$OUT/fuzz_$t" "${dirs[@]}" -max_total_time="$SECONDS_EACH" -timeout=10 -max_len="$(maxlen "$t")" \
    -print_final_stats=1 -artifact_prefix="$OUT/findings/$t-" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $rc -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz_$t FAILED (exit $rc); inputs in $OUT/findings/"
    status=1
  fi
  summary+="fuzz_$t: ${runs:-?} executions, exit $rc"$'\n'
done
printf '%s' "$summary"
exit $status
