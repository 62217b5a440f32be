#!/usr/bin/env bash
# Runs one Windows program under Wine in a fresh copy of the template prefix.
#   wine-run.sh --wine W --root R --name N [--family win98|winxp] [--locale L]
#               [--display] -- PROGRAM [ARGS...]
# The prefix stays in R/prefixes/N for inspection; KX_PREFIX in the program's
# environment names it (as a Unix path), KX_WINE the loader.
set -uo pipefail
wine= root= name= family=winxp locale=C display=0
while [ $# -gt 0 ]; do
  case $1 in
    --wine) wine=$2; shift 2;;
    --root) root=$2; shift 2;;
    --name) name=$2; shift 2;;
    --family) family=$2; shift 2;;
    --locale) locale=$2; shift 2;;
    --display) display=1; shift;;
    --) shift; break;;
    *) echo "wine-run.sh: unknown option $1" >&2; exit 2;;
  esac
done
prefix=$root/prefixes/$name
rm -rf "$prefix"
mkdir -p "$root/prefixes"
# Hard links keep the copy cheap; the registry files are real copies because
# wineserver rewrites them.
cp -al "$root/template" "$prefix"
for f in system.reg user.reg userdef.reg; do
  [ -f "$prefix/$f" ] && cp --remove-destination "$root/template/$f" "$prefix/$f"
done
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
export KX_PREFIX=$prefix KX_WINE=$wine LC_ALL=$locale
unset LANG LANGUAGE
wineserver=$(dirname "$wine")/wineserver

run() {
  "$wine" reg add 'HKCU\Software\Wine' /v Version /d "$family" /f >/dev/null 2>&1
  "$wine" "$@"
}
if [ "$display" = 1 ]; then
  # xvfb-run is a POSIX sh script, which drops exported bash functions, so the
  # function travels as text.
  export wine family
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$(declare -f run)"'; export -f run; run "$@"' run "$@"
  rc=$?
else
  unset DISPLAY
  run "$@"
  rc=$?
fi
"$wineserver" -k >/dev/null 2>&1 || true
exit $rc
