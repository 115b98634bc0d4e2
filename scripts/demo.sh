#!/usr/bin/env bash
# The launcher's main job on a fresh Debian 12 machine: installs what is
# missing, builds, fetches the real encoder, and records a moving demo window
# under Wine for 5 s (Xvfb is started when no DISPLAY is set). Prints what
# the recording holds and where its contact sheet is. Output in out/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
fail() { echo "demo: FAILED: $*" >&2; exit 1; }

echo "demo: installing what is missing"
scripts/install-deps.sh || fail "installing the packages"
echo "demo: building the launcher for 32-bit Windows"
{ cmake --preset mingw-i686 >/dev/null && cmake --build --preset mingw-i686 -j"$(nproc)" >/dev/null; } \
  || fail "building"
echo "demo: fetching the real encoder"
encoder=$(scripts/fetch-encoder.sh) || fail "fetching the encoder"
export ZELTRA_BUILD_DIR="$PWD/build/mingw"
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap wine_env_stop EXIT
wine_env_start || fail "starting the display and Wine"
python3 scripts/demo.py "$encoder" "$PWD/out/demo"
echo "demo: took $(( $(date +%s) - started )) s in all"
