#!/usr/bin/env bash
# Runs one Windows program under Wine in a fresh copy of the template prefix.
#   wine-run.sh --wine W --root R --name N [--template T] [--family win98|winxp]
#               [--locale L] [--display] [--readonly-program-dir]
#               [--tmpfs DIR:SIZE]... -- PROGRAM [ARGS...]
# T names the template under R (default "template"; "template64" is the 64-bit
# prefix in which the i686 tree runs its 32-bit programs too).
# The prefix stays in R/prefixes/N for inspection; KX_PREFIX in the program's
# environment names it (as a Unix path), KX_WINE the loader.
# --readonly-program-dir runs a copy of PROGRAM from a directory mounted
# read-only in a private mount namespace (root ignores permission bits, so a
# read-only file system is the only honest way to make it unwritable).
# --tmpfs mounts a file system of SIZE (e.g. 8m) at C:\DIR in the same kind of
# namespace: a small disk that a program can fill.
set -uo pipefail
wine= root= name= template=template family=winxp locale=C display=0 rodir=0 tmpfs=
while [ $# -gt 0 ]; do
  case $1 in
    --wine) wine=$2; shift 2;;
    --root) root=$2; shift 2;;
    --name) name=$2; shift 2;;
    --template) template=$2; shift 2;;
    --family) family=$2; shift 2;;
    --locale) locale=$2; shift 2;;
    --display) display=1; shift;;
    --readonly-program-dir) rodir=1; shift;;
    --tmpfs) tmpfs="$tmpfs$2;"; shift 2;;
    --) shift; break;;
    *) echo "wine-run.sh: unknown option $1" >&2; exit 2;;
  esac
done
prefix=$root/prefixes/$name
mkdir -p "$root/prefixes"
# Hard links keep the copy cheap; the registry files are real copies because
# wineserver rewrites them.
fresh_prefix() {
  rm -rf "$prefix"
  cp -al "$root/$template" "$prefix"
  for f in system.reg user.reg userdef.reg; do
    [ -f "$prefix/$f" ] && cp --remove-destination "$root/$template/$f" "$prefix/$f"
  done
}
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
export KX_PREFIX=$prefix KX_WINE=$wine LC_ALL=$locale
unset LANG LANGUAGE
wineserver=$(dirname "$wine")/wineserver

if [ "$rodir" = 1 ]; then
  ro=$root/readonly/$name
  rm -rf "$ro"; mkdir -p "$ro"
  cp "$1" "$ro/"
  printf 'kept' > "$ro/readonly.dat"
  prog=$ro/$(basename "$1"); shift
  set -- "$prog" "$@"
  export KX_RODIR=$ro
fi

export KX_TMPFS=$tmpfs

run() {
  if [ -n "${KX_RODIR:-}" ] && [ -z "${KX_IN_NS:-}" ]; then
    KX_IN_NS=1 exec unshare -m --propagation private bash -c \
      'mount --bind "$KX_RODIR" "$KX_RODIR" && mount -o remount,bind,ro "$KX_RODIR" && run "$@"' run "$@"
  fi
  if [ -n "${KX_TMPFS:-}" ] && [ -z "${KX_IN_NS:-}" ]; then
    KX_IN_NS=1 exec unshare -m --propagation private bash -c '
      IFS=";"; for m in $KX_TMPFS; do
        dir="$WINEPREFIX/drive_c/${m%:*}"; mkdir -p "$dir"
        mount -t tmpfs -o "size=${m##*:}" kxtmpfs "$dir" || exit 97
      done; unset IFS; run "$@"' run "$@"
  fi
  "$wine" reg add 'HKCU\Software\Wine' /v Version /d "$family" /f >/dev/null 2>&1
  "$wine" "$@"
}
# Exit status 139 is the Wine loader itself dying of SIGSEGV (a crash of the
# Windows program ends it with the exception's code instead). Wine 8 does that
# now and then at the exit of a 32-bit program in a 64-bit prefix; such a run
# proves nothing either way, so it is made once more in a fresh prefix.
for attempt in 1 2; do
  fresh_prefix
  if [ "$display" = 1 ]; then
    # xvfb-run is a POSIX sh script, which drops exported bash functions, so the
    # function travels as text.
    export wine family
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$(declare -f run)"'; export -f run; run "$@"' run "$@"
    rc=$?
  else
    unset DISPLAY
    export -f run; export wine family
    bash -c 'run "$@"' run "$@"
    rc=$?
  fi
  "$wineserver" -k >/dev/null 2>&1 || true
  [ "$rc" = 139 ] || break
  echo "wine-run.sh: Wine itself crashed (SIGSEGV) in $name (attempt $attempt)" >&2
done
exit $rc
