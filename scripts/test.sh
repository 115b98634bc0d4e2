#!/usr/bin/env bash
# Runs every check and test: installs what is missing, checks formatting and
# static analysis, builds the logic natively (plain and under sanitizers) and
# the Windows executable with its helpers, 32- and 64-bit, then runs the unit
# tests and, for each Windows build this machine can run, the tests of the
# real executable under Wine, and last makes the release twice to prove it
# reproducible (scripts/check-release.sh). Ends with one line per Windows
# build saying what happened to it, and one for the release.
#   ZELTRA_WINE_ARCHES=x86_64   (or i686, or both) runs only those builds' Wine tests
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

step() { printf '\n== %s\n' "$*"; }
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh

step "installing what is missing"
scripts/install-deps.sh

step "which Windows builds to run under Wine"
# Decided first, so a build forced where it cannot run fails in seconds.
requested=$(wine_env_arches)
i386_missing=""
if grep -qx i686 <<<"$requested"; then i386_missing=$(wine_env_i386_missing); fi
declare -A outcome=([i686]="" [x86_64]="")
to_run=()
for arch in i686 x86_64; do
  if ! grep -qx "$arch" <<<"$requested"; then
    outcome[$arch]="built and checked; not run: left out by ZELTRA_WINE_ARCHES=$ZELTRA_WINE_ARCHES"
  elif [ "$arch" = i686 ] && [ -n "$i386_missing" ]; then
    if [ -n "${ZELTRA_WINE_ARCHES:-}" ]; then
      echo "test: ZELTRA_WINE_ARCHES asks for the 32-bit build, but $i386_missing" >&2
      exit 1
    fi
    outcome[$arch]="built and checked; not run: $i386_missing"
  else
    to_run+=("$arch")
  fi
done
echo "running the Wine tests for: ${to_run[*]}"

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

step "property fuzzing (libFuzzer, 10^6 inputs a target, under the same sanitizers)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
# libFuzzer is verbose: keep its output in a log, show the run counts, all of it on failure.
if ! ctest --preset fuzz -j"$(nproc)" >build/fuzz/fuzz.log 2>&1; then
  cat build/fuzz/fuzz.log
  exit 1
fi
grep -E 'Done [0-9]+ runs|Test +#' build/fuzz/fuzz.log

for arch in i686 x86_64; do
  step "Windows build, $arch, and its executable check"
  cmake --preset "mingw-$arch" >/dev/null
  cmake --build --preset "mingw-$arch" -j"$(nproc)"
  ctest --preset "mingw-$arch" -R '^executable_resources$'
done

step "consumer project: the ZIPs' CMake package and the tree as a subproject, each way free of warnings"
tests/consumer/check-consumer.sh

step "the caller header's language guard, and the Windows workflow as far as it can be checked here"
tests/caller/check-language-guard.sh
scripts/check-workflow.sh

step "the C# and Python clients: compiled, and what of them needs no Windows run against the caller vectors"
tests/examples/check-examples.sh

step "static analysis"
scripts/check-tidy.sh build/fuzz build/mingw

failed=0
for arch in "${to_run[@]}"; do
  step "tests of the $arch Windows executable under Wine"
  # A subshell each: its own display, prefix and server, ended with it. The
  # other build's tests still run when one fails, so both get their line.
  set +e
  (
    set -e
    wine_env_select "$arch"
    scripts/fetch-encoder.sh "$ZELTRA_ENCODER_ARCH" >/dev/null
    trap wine_env_stop EXIT
    wine_env_start
    ctest --preset "$ZELTRA_PRESET"
  )
  status=$?
  set -e
  if [ "$status" = 0 ]; then
    outcome[$arch]="passed"
  else
    outcome[$arch]="FAILED"
    failed=1
  fi
done

step "release: two runs from two copies compared, their ZIPs checked against the builds tested"
if ! git rev-parse --verify -q HEAD >/dev/null 2>&1; then
  release="not checked: not a git checkout, and a release is made from a commit"
elif scripts/check-release.sh "${to_run[@]}"; then
  release="reproducible; contents, sums and versions checked"
else
  release="FAILED"
  failed=1
fi

printf '\n'
[ "$failed" = 0 ] && printf 'all checks passed in %ss\n' "$(( $(date +%s) - started ))"
echo "Wine tests, 32-bit build: ${outcome[i686]}"
echo "Wine tests, 64-bit build: ${outcome[x86_64]}"
echo "Release: $release"
if [ "${#to_run[@]}" = 0 ]; then
  echo "test: the Wine tests ran for no Windows build" >&2
  exit 1
fi
exit "$failed"
