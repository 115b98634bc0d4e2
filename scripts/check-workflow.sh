#!/usr/bin/env bash
# Checks the workflows in .github/workflows/ as far as this machine can: each
# is valid for GitHub Actions (action-validator, pinned, from the npm
# registry, installed into .cache/), and every script and CMake preset it
# names exists. Whether they pass shows only on a hosted runner.
set -euo pipefail
cd "$(dirname "$0")/.."
validator_version=0.6.0
prefix=$PWD/.cache/action-validator
validator=$prefix/node_modules/.bin/action-validator
installed=$(node -p 'require(process.argv[1]).version' "$prefix/node_modules/@action-validator/cli/package.json" \
            2>/dev/null || true)
if [ "$installed" != "$validator_version" ]; then
  npm install --prefix "$prefix" --no-save --no-audit --no-fund --silent \
    "@action-validator/cli@$validator_version" >/dev/null
fi

failed=0
for workflow in .github/workflows/*.yml; do
  "$validator" "$workflow" || { echo "workflow: FAIL: $workflow is not valid" >&2; failed=1; }
  for script in $(grep -oE '(scripts|tests)/[A-Za-z0-9_./-]+\.(sh|py)' "$workflow" | sort -u); do
    [ -f "$script" ] || { echo "workflow: FAIL: $workflow runs $script, which does not exist" >&2; failed=1; }
  done
  for preset in $(grep -oE -- '--preset [A-Za-z0-9_-]+' "$workflow" | awk '{print $2}' | sort -u); do
    for kind in configurePresets buildPresets testPresets; do
      python3 -c 'import json, sys; sys.exit(sys.argv[2] not in [p["name"] for p in json.load(open("CMakePresets.json"))[sys.argv[1]]])' \
        "$kind" "$preset" || { echo "workflow: FAIL: $workflow uses preset $preset, not among the $kind" >&2; failed=1; }
    done
  done
done
[ "$failed" = 0 ] && echo "workflow: valid (action-validator $validator_version); every script and preset it names exists"
exit "$failed"
