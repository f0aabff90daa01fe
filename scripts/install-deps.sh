#!/usr/bin/env bash
# Installs every Debian package the engine, its tests and its tools need.
# Idempotent: asks dpkg first and runs apt-get only when something is missing.
#   scripts/install-deps.sh          build + test dependencies
#   scripts/install-deps.sh bench    also the benchmark peers
#   scripts/install-deps.sh fuzz     also clang and its runtimes (libFuzzer, sanitizers)
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libsdl2-dev libgl-dev libgl1-mesa-dev libgl1-mesa-dri
  libluajit-5.1-dev libpng-dev zlib1g-dev
  libopenal-dev libsndfile1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  libglm-dev sox libosd-dev
  ccache
)
BENCH_PACKAGES=(libnanoflann-dev love)
# libclang-rt-dev follows the default clang and holds libFuzzer's runtime.
FUZZ_PACKAGES=(clang libclang-rt-dev)

case "${1:-}" in
  bench) PACKAGES+=("${BENCH_PACKAGES[@]}") ;;
  fuzz) PACKAGES+=("${FUZZ_PACKAGES[@]}") ;;
esac

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
