#!/usr/bin/env bash
# Makes a template Wine prefix that tests copy: wine-template.sh WINE DIR [win32|win64]
# The 32-bit loader makes a 64-bit prefix whenever wine64 is installed, so the
# architecture is named (default win64).
set -euo pipefail
wine=$1
dir=$2
arch=${3:-win64}
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
export WINEPREFIX=$dir WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
"$wine" wineboot -i >/dev/null 2>&1 || true
"$(dirname "$wine")/wineserver" -w || true
[ -f "$dir/system.reg" ] || { echo "wineboot did not make a prefix in $dir" >&2; exit 1; }
grep -q "^#arch=$arch" "$dir/system.reg" || { echo "wineboot made no $arch prefix in $dir" >&2; exit 1; }
touch "$dir/.made"
