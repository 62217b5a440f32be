#!/usr/bin/env bash
# Builds the demo's setup.exe and kxUnInst.exe twice, from the committed sources
# in two folders of their own, one after the other, and compares the bytes.
#   scripts/check-reproducible.sh [WORKDIR]
# Both builds take SOURCE_DATE_EPOCH (default: the last commit's time) and the
# host tree's kxpack and kxarc (scripts/build.sh host first). Run by hand: it
# builds the product twice.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)
work=${1:-$(mktemp -d)}
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
kxpack=$src/build/host/tools/kxpack/kxpack
kxarc=$src/build/host/tools/kxarc/kxarc
[ -x "$kxpack" ] && [ -x "$kxarc" ] || { echo "build the host tree first (scripts/build.sh host)" >&2; exit 2; }
for n in 1 2; do
  rm -rf "$work/$n" && mkdir -p "$work/$n"
  git archive HEAD | tar -x -C "$work/$n"
  (cd "$work/$n" &&
   cmake --preset win32 -DKX_BUILD_TESTS=OFF -DKX_HOST_KXPACK="$kxpack" -DKX_HOST_KXARC="$kxarc" >/dev/null &&
   cmake --build build/win32 -j"${JOBS:-2}" --target setup kxuninst >/dev/null)
done
status=0
for f in packages/acme/setup.exe uninst/kxUnInst.exe; do
  a=$work/1/build/win32/$f b=$work/2/build/win32/$f
  if cmp -s "$a" "$b"; then
    echo "same bytes: $f ($(sha256sum < "$a" | cut -c1-16)..., $(stat -c %s "$a") bytes)"
  else
    echo "DIFFERENT: $f"; cmp "$a" "$b" | head -5 || true; status=1
  fi
done
exit $status
