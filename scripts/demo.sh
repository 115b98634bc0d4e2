#!/usr/bin/env bash
# The launcher's main job on a fresh Debian 12 machine: installs what is
# missing, builds, fetches the real encoder, and records a moving demo window
# under Wine for 5 s, on a display of its own (Xvfb with openbox). Prints what
# the recording holds and where its contact sheet is. Output in out/demo/.
# Uses the 32-bit build where this machine runs 32-bit programs, else the
# 64-bit one (ZELTRA_WINE_ARCHES=x86_64 asks for that anywhere).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
fail() { echo "demo: FAILED: $*" >&2; exit 1; }
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh

echo "demo: installing what is missing"
scripts/install-deps.sh || fail "installing the packages"
picked=$(wine_env_pick) || fail "choosing a Windows build this machine can run"
arch=${picked%% *}
echo "demo: using ${picked#* }"
wine_env_select "$arch"
echo "demo: building the launcher ($ZELTRA_PRESET)"
{ cmake --preset "$ZELTRA_PRESET" >/dev/null && cmake --build --preset "$ZELTRA_PRESET" -j"$(nproc)" >/dev/null; } \
  || fail "building"
echo "demo: fetching the real encoder"
encoder=$(scripts/fetch-encoder.sh "$ZELTRA_ENCODER_ARCH") || fail "fetching the encoder"
trap wine_env_stop EXIT
wine_env_start || fail "starting the display and Wine"
python3 -m scripts.demo "$encoder" "$PWD/out/demo"
echo "demo: took $(( $(date +%s) - started )) s in all"
