#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy, warnings as errors) over every C++ source:
# the logic, the unit tests and the fuzz targets from a native build tree,
# and the Windows code (the caller header's example, platform, the machine
# check and the Wine bench's helpers) from a MinGW build tree,
# with the MinGW compiler's own C++ headers.
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:?usage: check-tidy.sh <native build dir> <mingw build dir>}
mingw=${2:?usage: check-tidy.sh <native build dir> <mingw build dir>}

mapfile -t sources < <(git ls-files -- 'launcher/*.cpp' 'tests/unit/*.cpp' 'tests/check/*.cpp' \
                                  'tests/fuzz/*.cpp')
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$native" --quiet 2>/dev/null

headers=()
for dir in $(i686-w64-mingw32-g++-win32 -E -x c++ - -v </dev/null 2>&1 |
             sed -n '/#include <...> search starts here:/,/End of search list./p' | grep '^ '); do
  headers+=("--extra-arg=-isystem$dir")
done
mapfile -t windows < <(git ls-files -- 'caller/*.cpp' 'platform/*.cpp' 'check/*.cpp' \
                                   'winebench/helpers/*.cpp')
printf '%s\n' "${windows[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$mingw" --quiet "${headers[@]}" 2>/dev/null
echo "tidy: clean"
