#!/usr/bin/env bash
# The caller header's language guard, with both MinGW compilers: below C++17
# it stops at once with the message naming the switch to use; at C++17 and
# C++20 it compiles without a warning.
set -euo pipefail
cd "$(dirname "$0")/../.."
failed=0
for compiler in i686-w64-mingw32-g++-win32 x86_64-w64-mingw32-g++-win32; do
  while read -r std verdict; do
    if output=$(echo '#include "zeltra_screentool.h"' |
                $compiler -std="$std" -fsyntax-only -Wall -Wextra -Wpedantic -Werror -Icaller -x c++ - 2>&1); then
      got=compiles
    # GCC goes on after #error (MSVC stops there): the guard's line must come first.
    elif grep -m1 'error' <<<"$output" | grep -q 'needs C++17: compile with /std:c++17'; then
      got=refuses
    else
      got="fails otherwise: $(grep -m3 error <<<"$output")"
    fi
    if [ "$got" != "$verdict" ]; then
      echo "language guard: FAIL: $compiler -std=$std: $got, expected: $verdict" >&2
      failed=1
    fi
  done <<'TABLE'
c++14 refuses
c++17 compiles
c++20 compiles
TABLE
done
[ "$failed" = 0 ] && echo "language guard: C++14 refused with the message, C++17 and C++20 compile"
exit "$failed"
