#!/usr/bin/env bash
# Fails when any C++ source differs from .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z -- '*.h' '*.cpp' | xargs -0 clang-format --dry-run -Werror
echo "format: clean"
