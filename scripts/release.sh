#!/usr/bin/env bash
# Makes the release from the tracked files of the current commit: builds both
# Windows builds from a copy of them and writes to dist/
#   ZELTRA_ScreenTool-<version>-win32.zip   the 32-bit build, the product
#   ZELTRA_ScreenTool-<version>-win64.zip   the 64-bit build
#   SHA256SUMS                              over both, as `sha256sum -c` reads it
# Two runs from one commit give the same bytes, whatever folder the copy lies
# in and whenever, under whichever TZ and umask they run: the executables carry
# the commit's time (SOURCE_DATE_EPOCH) and the ZIPs are written field by field
# (scripts/release_zip.py). What a ZIP holds is listed in cmake/release.cmake.
#   --dist DIR    write there instead of dist/
#   --worktree    take the tracked files as they stand in the working tree,
#                 uncommitted changes included, still with the commit's time
#                 (the test command checks the tree it tests this way)
set -euo pipefail
export LC_ALL=C
dist=""
from_worktree=0
while [ $# -gt 0 ]; do
  case "$1" in
    --dist) dist="$(mkdir -p "$2" && cd "$2" && pwd)"; shift 2 ;;
    --worktree) from_worktree=1; shift ;;
    *) echo "usage: release.sh [--dist DIR] [--worktree]" >&2; exit 2 ;;
  esac
done
cd "$(dirname "$0")/.."
dist="${dist:-$PWD/dist}"

if ! commit=$(git rev-parse --verify -q HEAD 2>/dev/null); then
  echo "release: $PWD is not a git checkout with a commit: a release is made from a commit" >&2
  exit 1
fi
scripts/install-deps.sh

source_tree=$commit
changed=$(git status --porcelain --untracked-files=no | wc -l)
if [ "$changed" != 0 ] && [ "$from_worktree" = 1 ]; then
  source_tree=$(git stash create)
  echo "release: NOTE: $changed tracked files differ from commit ${commit:0:12}; packing them as they" \
       "stand, with the commit's time: these ZIPs are not that commit's release" >&2
elif [ "$changed" != 0 ]; then
  echo "release: NOTE: $changed tracked files differ from commit ${commit:0:12}; their changes are" \
       "left out: the release is the commit as committed" >&2
fi
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")
export SOURCE_DATE_EPOCH

copy=$(mktemp -d "${TMPDIR:-/tmp}/zeltra-release.XXXXXX")
trap 'rm -rf "$copy"' EXIT
git archive "$source_tree" | tar -x -C "$copy"
for preset in mingw-i686 mingw-x86_64; do
  # Only what ships is built: the release target needs the executables it packs.
  if ! (cd "$copy" && cmake --preset "$preset" && cmake --build --preset "$preset" -j"$(nproc)" \
        --target release_zip) >"$copy/$preset.log" 2>&1; then
    cat "$copy/$preset.log" >&2
    echo "release: the $preset build failed" >&2
    exit 1
  fi
done

mkdir -p "$dist"
rm -f "$dist"/ZELTRA_ScreenTool-*.zip "$dist/SHA256SUMS"
cp "$copy"/build/mingw/release/*.zip "$copy"/build/mingw-x86_64/release/*.zip "$dist/"
(cd "$dist" && sha256sum -- ZELTRA_ScreenTool-*.zip >SHA256SUMS)

echo "release: commit ${commit:0:12}, SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'))"
for zip in "$dist"/ZELTRA_ScreenTool-*.zip; do
  echo "release: wrote $zip ($(stat -c %s "$zip") bytes):"
  python3 -m zipfile -l "$zip" | sed 's/^/  /'
done
echo "release: wrote $dist/SHA256SUMS:"
sed 's/^/  /' "$dist/SHA256SUMS"
