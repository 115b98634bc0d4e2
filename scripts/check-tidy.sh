#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy, warnings as errors) over the sources of a
# native build tree: the logic, the unit tests and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: check-tidy.sh <native build dir>}
mapfile -t sources < <(git ls-files -- 'launcher/*.cpp' 'tests/unit/*.cpp' 'tests/fuzz/*.cpp')
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null
echo "tidy: clean"
