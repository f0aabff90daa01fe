#!/usr/bin/env bash
# Runs every benchmark program of a benchmark build, headless.
set -euo pipefail
BUILD=${1:-build-bench}
# Everything after the build folder goes to the benchmark programs.
if [ $# -gt 0 ]; then shift; fi
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy
cd "$ROOT"
for b in "$BUILD"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  xvfb-run -a -s "-screen 0 1280x1024x24" "$b" --benchmark_min_time=0.2 "$@"
done
