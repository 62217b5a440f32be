#!/usr/bin/env bash
# kxarc.exe and kxcrypt.exe under Wine: an archive made, listed, tested, damaged
# and extracted, and a file protected and read back, with their exit codes.
#   tools_under_wine.sh WINE_RUN WINE ROOT KXARC KXCRYPT WORKDIR
set -uo pipefail
winerun=$1 wine=$2 root=$3 kxarc=$4 kxcrypt=$5 work=$6
rm -rf "$work"; mkdir -p "$work/src/docs"
cd "$work"
fails=0 passes=0
check() { # check NAME EXPECTED_RC ACTUAL_RC
  if [ "$2" = "$3" ]; then passes=$((passes + 1)); else echo "FAIL: $1 (exit $3, expected $2)"; fails=$((fails + 1)); fi
}
w() { "$winerun" --wine "$wine" --root "$root" --name "wine_tools_cli" -- "$@"; }

head -c 200000 /dev/urandom > src/random.bin
for i in $(seq 1 3000); do echo "line $i of a text that compresses well"; done > src/docs/readme.txt
: > src/empty.dat

w "$kxarc" create --no-progress --seed 7 out.arc src/random.bin src/docs/readme.txt src/empty.dat > create.log 2>&1
check "kxarc create" 0 $?
w "$kxarc" list out.arc > list.log 2>&1
check "kxarc list" 0 $?
for n in random.bin readme.txt empty.dat; do
  grep -q "$n" list.log; check "list shows $n" 0 $?
done
w "$kxarc" test out.arc > test.log 2>&1
check "kxarc test of a good archive" 0 $?
w "$kxarc" extract out.arc -C unpacked > extract.log 2>&1
check "kxarc extract" 0 $?
cmp -s src/random.bin unpacked/random.bin; check "random.bin extracted unchanged" 0 $?
cmp -s src/docs/readme.txt unpacked/readme.txt; check "readme.txt extracted unchanged" 0 $?
[ -f unpacked/empty.dat ] && [ ! -s unpacked/empty.dat ]; check "empty.dat extracted empty" 0 $?

# One flipped byte in the middle of the first entry's data.
cp out.arc bad.arc
# (inverted, not overwritten: random data may hold the new value already)
python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(100000); b = f.read(1)[0]; f.seek(100000); f.write(bytes([b ^ 0xFF]))' bad.arc
w "$kxarc" test bad.arc > bad.log 2>&1
rc=$?
[ "$rc" -ne 0 ]; check "kxarc test of a damaged archive fails" 0 $?
grep -q random.bin bad.log; check "the damaged entry is named" 0 $?

w "$kxcrypt" encrypt --hex src/docs/readme.txt cipher.hex > enc.log 2>&1
check "kxcrypt encrypt --hex" 0 $?
w "$kxcrypt" decrypt --hex cipher.hex plain.txt > dec.log 2>&1
check "kxcrypt decrypt --hex" 0 $?
cmp -s src/docs/readme.txt plain.txt; check "hex round trip" 0 $?
w "$kxcrypt" encrypt --password abcdefghijklm src/empty.dat x.bin > pw.log 2>&1
rc=$?
[ "$rc" -ne 0 ] && grep -q "The Maxlen for the password is 12 characters" pw.log; check "13-character password refused" 0 $?

echo "$passes passed, $fails failed"
[ "$fails" -eq 0 ]
