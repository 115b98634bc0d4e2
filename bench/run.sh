#!/usr/bin/env bash
# Builds the Windows targets and prints the launcher's figures (see bench.py).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 -j"$(nproc)" >/dev/null
ZELTRA_REAL_ENCODER=$(scripts/fetch-encoder.sh)
export ZELTRA_REAL_ENCODER
export ZELTRA_BUILD_DIR="$PWD/build/mingw"
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap wine_env_stop EXIT
wine_env_start
python3 bench/bench.py "$@"
