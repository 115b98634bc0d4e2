#!/usr/bin/env bash
# Proves the release reproducible and checks what it holds: two release runs,
# each from its own copy of the tree in a folder of its own, one after the
# other, under different TZ and umask, must write the same bytes; the sums
# must verify with `sha256sum -c`; tests/release/check_release.py checks the
# ZIPs' contents, their executables against the named builds' Wine-tested
# ones and their versions.
#   check-release.sh [i686] [x86_64]   the builds whose Wine tests ran
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
runs=$(mktemp -d "${TMPDIR:-/tmp}/zeltra-release-check.XXXXXX")
trap 'rm -rf "$runs"' EXIT

# Zones 14 hours apart: a local time anywhere in a ZIP shows as a changed byte.
(umask 022 && TZ=Etc/GMT+0 scripts/release.sh --worktree --dist "$runs/first" >"$runs/first.log" 2>&1) ||
  { cat "$runs/first.log" >&2; exit 1; }
(umask 077 && TZ=Pacific/Kiritimati scripts/release.sh --worktree --dist "$runs/second" >"$runs/second.log" 2>&1) ||
  { cat "$runs/second.log" >&2; exit 1; }
grep NOTE "$runs/first.log" >&2 || true

(cd "$runs/first" && sha256sum -c SHA256SUMS)
python3 tests/release/check_release.py "$runs/first" "$runs/second" "$@"
echo "release check: two runs in $(( $(date +%s) - started ))s"
