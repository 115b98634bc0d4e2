#!/usr/bin/env bash
# Runs every check and test: installs what is missing, checks formatting and
# static analysis, builds the logic natively (plain and under sanitizers) and
# the Windows executable with its helpers, then runs the unit tests and the
# tests of the real executable under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

step() { printf '\n== %s\n' "$*"; }

step "installing what is missing"
scripts/install-deps.sh

step "format"
scripts/check-format.sh

step "native build and unit tests"
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)"
ctest --preset native

step "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset native-sanitize >/dev/null
cmake --build --preset native-sanitize -j"$(nproc)"
ctest --preset native-sanitize

step "property fuzzing (libFuzzer, 30 s a target, under the same sanitizers)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
# libFuzzer is verbose: keep its output in a log, show the run counts, all of it on failure.
if ! ctest --preset fuzz >build/fuzz/fuzz.log 2>&1; then
  cat build/fuzz/fuzz.log
  exit 1
fi
grep -E 'Done [0-9]+ runs|Test +#' build/fuzz/fuzz.log

step "Windows build"
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 -j"$(nproc)"

step "static analysis"
scripts/check-tidy.sh build/fuzz build/mingw

step "tests of the Windows executable under Wine"
scripts/fetch-encoder.sh >/dev/null
export ZELTRA_BUILD_DIR="$PWD/build/mingw"
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap wine_env_stop EXIT
wine_env_start
ctest --preset mingw-i686

printf '\nall checks passed in %ss\n' "$(( $(date +%s) - started ))"
