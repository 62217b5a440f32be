#!/usr/bin/env bash
# Configures and builds the given presets (default: all that the tests need).
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(host win64 win32 asan)
for p in "${presets[@]}"; do
  echo "== building preset $p"
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p"
done
