#!/usr/bin/env bash
# Builds the demo package's setup.exe and runs it under Wine; saves a screenshot
# of the wizard to build/demo/. Without a display the run happens under Xvfb and
# the wizard is closed after the screenshot; with one it stays open for you.
#   DEMO_LOCALE=zh_CN.GBK ./scripts/demo.sh   (or zh_TW.BIG5) shows the Chinese wizard.
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
cmake --build build/$tree --target wine_template -j2

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

session() {
  local subs='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  "$DEMO_WINE" reg add "$subs" /v "Times New Roman,134" /d "WenQuanYi Micro Hei,134" /f >/dev/null 2>&1
  "$DEMO_WINE" reg add "$subs" /v "Times New Roman,136" /d "WenQuanYi Micro Hei,136" /f >/dev/null 2>&1
  "$DEMO_WINE" "$DEMO_OUT/setup.exe" &
  local pid=$!
  # The wizard is up once Wine has mapped a window of the program.
  for _ in $(seq 1 60); do
    xwininfo -root -tree 2>/dev/null | grep -q '"setup.exe"' && break
    sleep 0.5
  done
  sleep 2
  import -window root "$DEMO_OUT/wizard-screen.png"
  convert "$DEMO_OUT/wizard-screen.png" -trim +repage "$DEMO_OUT/wizard.png"
  if [ "${DEMO_KEEP_OPEN:-0}" = 1 ]; then
    wait $pid
  else
    "$(dirname "$DEMO_WINE")/wineserver" -k >/dev/null 2>&1 || true
    wait $pid 2>/dev/null || true
  fi
}
export -f session

if [ -n "${DISPLAY:-}" ]; then
  DEMO_KEEP_OPEN=1 session
else
  xvfb-run -a -s "-screen 0 800x600x24" bash -c "$(declare -f session); session"
fi
"$(dirname "$wine")/wineserver" -k >/dev/null 2>&1 || true
echo "setup.exe (i686 product): $out/setup-i686.exe"
echo "screenshot of the wizard:  $out/wizard.png"
