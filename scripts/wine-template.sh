#!/usr/bin/env bash
# Makes the template Wine prefix that every test copies: wine-template.sh WINE DIR
set -euo pipefail
wine=$1
dir=$2
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
export WINEPREFIX=$dir WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
"$wine" wineboot -i >/dev/null 2>&1 || true
"$(dirname "$wine")/wineserver" -w || true
[ -f "$dir/system.reg" ] || { echo "wineboot did not make a prefix in $dir" >&2; exit 1; }
touch "$dir/.made"
