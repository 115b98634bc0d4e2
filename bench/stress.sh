#!/usr/bin/env bash
# Stops in a row through the caller header with the real encoder (see
# stress.py), on each Windows build this machine runs: the 32-bit one where
# it runs 32-bit programs, and the 64-bit one. On demand, not part of the tests.
#   bench/stress.sh [N]      N stops a build (default 100)
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
scripts/install-deps.sh
arches=$(wine_env_arches)
for arch in $arches; do
  if [ "$arch" = i686 ]; then
    why=$(wine_env_i386_missing)
    if [ -n "$why" ]; then
      echo "stress: not run for the 32-bit build: $why"
      continue
    fi
  fi
  (
    wine_env_select "$arch"
    echo "stress: $arch build, $(uname -m), $(nproc) cores, $("$ZELTRA_WINE" --version)"
    cmake --preset "$ZELTRA_PRESET" >/dev/null
    cmake --build --preset "$ZELTRA_PRESET" -j"$(nproc)" >/dev/null
    ZELTRA_REAL_ENCODER=$(scripts/fetch-encoder.sh "$ZELTRA_ENCODER_ARCH")
    export ZELTRA_REAL_ENCODER
    trap wine_env_stop EXIT
    wine_env_start
    python3 -m bench.stress "$@"
  )
done
