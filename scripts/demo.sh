#!/usr/bin/env bash
# Builds the demo package's setup.exe and runs it under Wine in a prefix of its
# own (build/demo/prefix).
# - With a display the wizard opens for you: install, look around the prefix,
#   remove it again with its uninstaller (Start menu group or the system's list,
#   `wine uninstaller`).
# - Without one (or with DEMO_TOUR=1) the demo runs under Xvfb by itself: it goes
#   through the four pages, installs into the suggested folder, shows what the
#   installation made, removes it with the uninstaller and compares the prefix
#   with what it was before; screenshots of every page go to build/demo/.
#   DEMO_LOCALE=zh_CN.GBK ./scripts/demo.sh   (or zh_TW.BIG5) uses the Chinese wizard.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
./scripts/install-prereqs.sh

# kxpack builds setup.exe from the package, so the native tree comes first.
cmake --preset host >/dev/null
cmake --build build/host --target kxpack -j2
# The product is the i686 build, which runs under 32-bit Wine where the kernel
# runs 32-bit programs; elsewhere the demo runs the same sources built for
# x86_64 under wine64.
cmake --preset win32 >/dev/null
cmake --build build/win32 --target setup -j2
tree=win32
if ! grep -qE '^KX_WINE:STRING=.+' build/win32/CMakeCache.txt; then
  tree=win64
  cmake --preset win64 >/dev/null
  cmake --build build/win64 --target setup -j2
fi
cmake --build build/$tree --target demo_tour wine_template -j2

wine=$(grep -E '^KX_WINE:' build/$tree/CMakeCache.txt | cut -d= -f2-)
out=$root/build/demo
rm -rf "$out"
mkdir -p "$out"
cp -a build/$tree/wine/template "$out/prefix"
cp build/$tree/packages/acme/setup.exe "$out/setup.exe"
cp build/win32/packages/acme/setup.exe "$out/setup-i686.exe"

export WINEPREFIX=$out/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=${DEMO_LOCALE:-C} DEMO_OUT=$out DEMO_WINE=$wine
unset LANG LANGUAGE

fonts() {
  local subs='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  "$DEMO_WINE" reg add "$subs" /v "Times New Roman,134" /d "WenQuanYi Micro Hei,134" /f >/dev/null 2>&1
  "$DEMO_WINE" reg add "$subs" /v "Times New Roman,136" /d "WenQuanYi Micro Hei,136" /f >/dev/null 2>&1
}
tour() {
  fonts
  "$DEMO_WINE" "$DEMO_TOUR_EXE" --setup="$DEMO_OUT/setup.exe" --out="$DEMO_OUT"
}
export -f fonts tour
export DEMO_TOUR_EXE=$root/build/$tree/tests/e2e/demo/demo_tour.exe

rc=0
if [ -n "${DISPLAY:-}" ] && [ "${DEMO_TOUR:-0}" != 1 ]; then
  fonts
  echo "The wizard is open on your display; close it to end the demo."
  "$wine" "$out/setup.exe" || rc=$?
else
  xvfb-run -a -s "-screen 0 800x600x24" bash -c "$(declare -f fonts tour); tour" || rc=$?
  for f in "$out"/*.bmp; do
    [ -e "$f" ] && convert "$f" "${f%.bmp}.png" && rm -f "$f"
  done
fi
"$(dirname "$wine")/wineserver" -k >/dev/null 2>&1 || true
echo "setup.exe (i686 product): $out/setup-i686.exe"
[ -e "$out/1-licence.png" ] && echo "screenshots of the pages:  $out/*.png"
exit $rc
