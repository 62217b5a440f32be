#!/usr/bin/env bash
# Installs every package the build and the tests need on a Debian machine.
# Idempotent: packages already present are skipped, and apt is not touched at
# all when nothing is missing.
set -euo pipefail

need_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_i386=1
fi

pkgs=(
  cmake g++ clang libclang-rt-14-dev zlib1g-dev libgtest-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick
  fonts-wqy-microhei locales python3 procps util-linux icoutils liblnk-utils nsis
)

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

if [ "$need_i386" -eq 1 ]; then
  $SUDO dpkg --add-architecture i386
fi
if [ "${#missing[@]}" -gt 0 ] || [ "$need_i386" -eq 1 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The Windows trees name the win32 thread-model compilers themselves
# (cmake/mingw-common.cmake), so the system's default MinGW thread model is
# left as it is.

# Locales the language tests run under.
want_locales=("zh_CN.GBK GBK" "zh_TW.BIG5 BIG5" "zh_HK BIG5-HKSCS" "zh_SG GB2312"
              "ja_JP.UTF-8 UTF-8" "de_DE.UTF-8 UTF-8" "en_US.UTF-8 UTF-8")
gen=0
for l in "${want_locales[@]}"; do
  name=${l%% *}
  norm=$(echo "$name" | tr 'A-Z' 'a-z' | sed 's/-//g')
  if ! locale -a 2>/dev/null | tr 'A-Z' 'a-z' | sed 's/-//g' | grep -qx "$norm"; then
    if ! grep -qx "$l" /etc/locale.gen 2>/dev/null; then
      echo "$l" | $SUDO tee -a /etc/locale.gen >/dev/null
    fi
    gen=1
  fi
done
if [ "$gen" -eq 1 ]; then
  $SUDO locale-gen >/dev/null
fi
echo "Prerequisites are in place."
