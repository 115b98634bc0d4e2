#!/usr/bin/env bash
# Builds the consumer project (tests/consumer) every way an integrator takes,
# each free of warnings, with the project's MinGW toolchain files:
#   the 32-bit ZIP through find_package, by a 32-bit build (ZELTRA_ScreenTool_DIR)
#   and by a 64-bit one (the ZIP folder added to CMAKE_FIND_ROOT_PATH);
#   the 64-bit ZIP by a 64-bit build;
#   the tree through add_subdirectory (32-bit) and through FetchContent with a
#   local source folder (64-bit), with Python and GoogleTest out of reach;
#   the tree built and installed as a package manager's port does (configure
#   without the tests, build, cmake --install: Python and GoogleTest out of
#   reach again), its install folder holding what the ZIP holds, found by a
#   64-bit build.
# Then asks the package for versions it must take and refuse.
# Needs both MinGW builds configured (their ZIPs are packed here).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
out=$root/build/consumer
rm -rf "$out"
mkdir -p "$out/zips"

for build in build/mingw build/mingw-x86_64; do
  rm -f "$build"/release/ZELTRA_ScreenTool-*.zip  # an earlier version's would be taken too
  cmake --build "$build" -j2 --target release_zip >/dev/null
  python3 -m zipfile -e "$build"/release/ZELTRA_ScreenTool-*.zip "$out/zips"
done
win32=$(echo "$out"/zips/ZELTRA_ScreenTool-*-win32)
win64=$(echo "$out"/zips/ZELTRA_ScreenTool-*-win64)
version=${win32##*/ZELTRA_ScreenTool-}
version=${version%-win32}

failed=0
fail() { echo "consumer: FAIL: $*" >&2; failed=1; }

# consume <name> <i686|x86_64> <cmake arguments...>: configures and builds one way.
consume() {
  local name=$1 arch=$2 dir=$out/$1
  shift 2
  if ! { cmake -S tests/consumer -B "$dir" --toolchain "$root/cmake/mingw-w64-$arch.cmake" --no-warn-unused-cli \
           -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "$@" && cmake --build "$dir" -j2; } >"$dir.log" 2>&1; then
    cat "$dir.log" >&2
    fail "$name: the build failed"
    return
  fi
  if grep -i 'warning' "$dir.log" >&2; then fail "$name: warnings (above)"; fi
  for program in client ZELTRA_ScreenTool ZELTRA_ScreenTool_check; do
    [ -f "$dir/$program.exe" ] || fail "$name: no $program.exe beside the client"
  done
  # Warnings as errors are the consumer's choice for its own code, never the tree's.
  python3 - "$dir/compile_commands.json" "$root/tests/consumer/" "$name" <<'PY' || failed=1
import json, sys
commands, own, name = json.load(open(sys.argv[1])), sys.argv[2], sys.argv[3]
for c in commands:
    if ("-Werror" in c["command"]) != c["file"].startswith(own):
        sys.exit(f"consumer: FAIL: {name}: {c['file']} is compiled {'with' if '-Werror' in c['command'] else 'without'} -Werror")
PY
  echo "consumer: $name: built, no warnings"
}

major=${version%%.*}
consume win32-zip-i686 i686 -DZELTRA_ScreenTool_DIR="$win32/cmake" -DZELTRA_WANT_MAJOR="$major"
consume win32-zip-x86_64 x86_64 -DZELTRA_PACKAGE_ROOT="$win32" -DZELTRA_WANT_MAJOR="$major"
consume win64-zip-x86_64 x86_64 -DZELTRA_ScreenTool_DIR="$win64/cmake" -DZELTRA_WANT_MAJOR="$major"
untouchable=(-DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON)

# A port: the tree configured on its own without the tests, built, installed.
port=$out/port
if ! { cmake -S "$root" -B "$port/build" --toolchain "$root/cmake/mingw-w64-x86_64.cmake" \
         -DCMAKE_BUILD_TYPE=Release -DZELTRA_BUILD_TESTS=OFF "${untouchable[@]}" &&
       cmake --build "$port/build" -j2 && cmake --install "$port/build" --prefix "$port/installed"; } \
     >"$port.log" 2>&1; then
  cat "$port.log" >&2
  fail "port: configure, build or install failed"
fi
installed=$(cd "$port/installed" && find . -type f | sort)
zipped=$(cd "$win64" && find . -type f | sort)
[ "$installed" = "$zipped" ] || fail "port: the install holds $(echo $installed), the ZIP $(echo $zipped)"
consume port-x86_64 x86_64 -DZELTRA_ScreenTool_DIR="$port/installed/cmake" -DZELTRA_WANT_MAJOR="$major"
consume subdirectory-i686 i686 -DZELTRA_CONSUME=subdirectory -DZELTRA_SCREENTOOL_SOURCE="$root" "${untouchable[@]}"
consume fetchcontent-x86_64 x86_64 -DZELTRA_CONSUME=fetchcontent -DZELTRA_SCREENTOOL_SOURCE="$root" "${untouchable[@]}"

# Requested version, and whether the package (of the project's version) takes it:
# any of its own major version, none of another. The major version alone each
# consume above asks for already.
minor=${version#*.}
minor=${minor%%.*}
while read -r want verdict; do
  dir=$out/version-$want
  if cmake -S tests/consumer/version -B "$dir" -DZELTRA_WANT="$want" -DZELTRA_ScreenTool_DIR="$win32/cmake" \
       >"$dir.log" 2>&1; then
    got=takes
  else
    grep -qF "version: $version" "$dir.log" || { cat "$dir.log" >&2; fail "version $want: failed for another reason"; }
    got=refuses
  fi
  [ "$got" = "$verdict" ] || fail "the package $got version $want; it should be: $verdict"
  echo "consumer: the package $got version $want"
done <<VERSIONS
$major.0 takes
$major.$minor takes
$((major + 1)).0 refuses
$((major - 1)).9 refuses
VERSIONS

exit "$failed"
