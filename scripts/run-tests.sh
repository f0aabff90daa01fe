#!/usr/bin/env bash
# Runs the whole test suite of one build folder headless: GL tests get a
# virtual X server (Xvfb) with Mesa's software renderer, audio tests write
# through OpenAL Soft's wave-file back end, nothing needs a display or a GPU.
set -euo pipefail
BUILD=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export LIBGL_ALWAYS_SOFTWARE=1
export GALLIUM_DRIVER=llvmpipe
export SDL_AUDIODRIVER=dummy
# Programs that open the default audio device get OpenAL's null output (it
# mixes, silently); the audio tests choose their own output.
export ALSOFT_DRIVERS=${ALSOFT_DRIVERS:-null}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:detect_odr_violation=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The M3G corpus may not be redistributed, so it is not in the repository: the
# tests labelled `corpus` read it from PELLORAN_CORPUS and are skipped without
# it. A checkout with the shared test data beside it uses that.
if [ -z "${PELLORAN_CORPUS:-}" ] && [ -d "$ROOT/../shared/testdata" ]; then
  export PELLORAN_CORPUS=$(cd "$ROOT/../shared/testdata" && pwd)
fi
cd "$ROOT/$BUILD"
# A test that hangs shows in a minute, not in five: the slowest test takes a
# few seconds, under the sanitizers too.
run_ctest() { ctest --output-on-failure -j "$(nproc)" --timeout 60 "$@"; }
if [ -n "${DISPLAY:-}" ] && [ -z "${PELLORAN_FORCE_XVFB:-}" ]; then
  run_ctest
else
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "$(declare -f run_ctest); run_ctest"
fi
