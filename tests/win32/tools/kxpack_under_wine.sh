#!/usr/bin/env bash
# kxpack.exe under Wine: it finds the stub and the uninstaller beside itself,
# packs the demo package into the same bytes as the native kxpack, and refuses a
# package with a missing file with exit 1, naming the file.
#   kxpack_under_wine.sh WINE_RUN WINE ROOT KXPACK_EXE HOST_KXPACK PACKAGE_DIR WORKDIR [OPTION...]
# OPTIONs go to both runs (--allow-64bit in the x86_64 tree).
set -uo pipefail
winerun=$1 wine=$2 root=$3 kxpack=$4 host=$5 package=$6 work=$7
shift 7
rm -rf "$work"; mkdir -p "$work"
cp -r "$package" "$work/pkg"
cd "$work"
data=$(dirname "$kxpack")
fails=0 passes=0
check() { # check NAME EXPECTED_RC ACTUAL_RC
  if [ "$2" = "$3" ]; then passes=$((passes + 1)); else echo "FAIL: $1 (exit $3, expected $2)"; fails=$((fails + 1)); fi
}
w() { "$winerun" --wine "$wine" --root "$root" --name "wine_kxpack_cli" -- "$@"; }

"$host" --no-progress --seed 9 "$@" --stub "$data/setupstub.exe" --uninstaller "$data/kxUnInst.exe" pkg -o native.exe > native.log 2>&1
check "native kxpack" 0 $?
w "$kxpack" --no-progress --seed 9 "$@" pkg -o wine.exe > wine.log 2>&1
check "kxpack.exe with the stub and uninstaller beside it" 0 $?
cmp -s native.exe wine.exe; check "kxpack.exe writes the bytes the native kxpack writes" 0 $?

cp -r pkg bad
rm bad/files/readme.txt
w "$kxpack" --no-progress "$@" bad -o bad.exe > bad.log 2>&1
check "kxpack.exe refuses a package with a missing file" 1 $?
grep -q "readme.txt" bad.log; check "the message names the file" 0 $?
[ ! -e bad.exe ]; check "nothing is written" 0 $?

cat wine.log bad.log
echo "$passes passed, $fails failed"
[ "$fails" -eq 0 ]
