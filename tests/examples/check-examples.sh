#!/usr/bin/env bash
# The C# and Python clients in examples/, as far as this machine takes them:
# each compiled (C# 7; Python byte-compiled, its grammar held to 3.8's) and
# its parts that need no Windows run against the shared caller vectors, under
# Mono and natively. Neither starts a launcher here: that needs Windows.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=$(mktemp -d "${TMPDIR:-/tmp}/zeltra-examples.XXXXXX")
trap 'rm -rf "$out"' EXIT
export PYTHONPYCACHEPREFIX="$out/pycache"  # nothing written into the tree
vectors=tests/caller/caller_vectors.tsv

mcs -langversion:7 -warnaserror -nologo -out:"$out/VectorsCheck.exe" \
  examples/csharp/ZeltraRecording.cs tests/examples/VectorsCheck.cs
mono "$out/VectorsCheck.exe" "$vectors"

python3 -m py_compile examples/python/zeltra_recording.py
python3 -c 'import ast, sys; ast.parse(open(sys.argv[1], encoding="utf-8").read(), feature_version=(3, 8))' \
  examples/python/zeltra_recording.py
python3 tests/examples/test_python_client.py
