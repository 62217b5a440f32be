#!/usr/bin/env bash
# Installs what is missing, builds every tree and runs every test with one ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-prereqs.sh
./scripts/build.sh host win64 win32 asan fuzz
# Most of the time of the Wine tests is spent waiting for windows and services,
# not computing: four at a time keep two cores busy.
ctest --test-dir build/host --output-on-failure -j4 "$@"
