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
# The LÖVE peers of bench_scene_frames, right after it, at the same window
# size (skipped where `love` is not installed).
if command -v love >/dev/null 2>&1; then
  for peer in "$ROOT/../shared/bench-peers/love" "$ROOT/bench/peers/love-objects"; do
    [ -f "$peer/main.lua" ] || continue
    echo "== LÖVE peer $(basename "$peer")"
    (cd "$peer" && PEER_SIZE=64x64 xvfb-run -a -s "-screen 0 1024x768x24" love . 2>&1 | grep -vE "^(ALSA|AL lib)")
  done
fi
