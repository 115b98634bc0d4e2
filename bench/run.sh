#!/usr/bin/env bash
# Builds the Windows targets and prints the launcher's figures (see bench.py),
# with the 32-bit build where this machine runs 32-bit programs, else the
# 64-bit one (ZELTRA_WINE_ARCHES=x86_64 asks for that anywhere).
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
scripts/install-deps.sh
picked=$(wine_env_pick)
wine_env_select "${picked%% *}"
echo "bench: $(uname -m), $(nproc) cores, $("$ZELTRA_WINE" --version); using ${picked#* }"
cmake --preset "$ZELTRA_PRESET" >/dev/null
cmake --build --preset "$ZELTRA_PRESET" -j"$(nproc)" >/dev/null
ZELTRA_REAL_ENCODER=$(scripts/fetch-encoder.sh "$ZELTRA_ENCODER_ARCH")
export ZELTRA_REAL_ENCODER
trap wine_env_stop EXIT
wine_env_start
python3 -m bench.bench "$@"
