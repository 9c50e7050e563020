#!/usr/bin/env bash
# Runs the Windows test host under Wine on a private Xvfb display, in a
# throw-away Wine prefix, twice: with the x87 precision word at 64 bits (most
# players) and at 53 (some), since a DLL must not compute differently for either.
#   run_under_wine.sh ARCH HOST.exe PLUGIN.dll OUT_DIR
# ARCH x86_64 runs 64-bit Wine; i686 runs 32-bit Wine through qemu's user-mode
# emulation (32-bit programs cannot execute natively on the build machines).
# OUT_DIR receives host-<precision>.log, results-<precision>.txt (what every
# build must agree on) and the screenshots as PNG files.
# Exits 77 (skipped) when Wine, qemu or Xvfb is not installed.
set -euo pipefail

arch=$1 host=$2 dll=$3 out=$4
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.bmp "$out"/*.log "$out"/results-*.txt
case "$arch" in
  x86_64) loader=(/usr/lib/wine/wine64) ;;
  i686) loader=(qemu-i386 /usr/lib/wine/wine); export WINEARCH=win32 ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
if [ ! -x "${loader[-1]}" ] || ! command -v "${loader[0]}" >/dev/null || ! command -v Xvfb >/dev/null; then
  echo "${loader[*]} or Xvfb not installed: skipped"
  exit 77
fi
for f in "$host" "$dll"; do [ -f "$f" ] || { echo "missing $f (is mingw-w64 installed and the build done?)" >&2; exit 1; }; done

work=$(mktemp -d)
prefix=$(mktemp -d)
xvfb_pid=
cleanup() {
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work" "$prefix"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to fd 3.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=$(head -n1 "$work/display")
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }

cp "$host" "$dll" "$work/"
mkdir -p "$work/out"
export WINEPREFIX="$prefix" WINEDEBUG=-all DISPLAY=":$display"
# No Mono or Gecko installers: the host needs neither. No debugger on a crash:
# the host reports the fault itself and the run ends.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winedbg.exe=d"
# Creating the prefix, and leaving window management to Wine: with no window
# manager on the display, Wine would wait two seconds for every hidden
# top-level window to be withdrawn (the window hides on each change of effect).
"${loader[@]}" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
status=0
for precision in 64 53; do
  (cd "$work" && timeout -k 10 240 "${loader[@]}" "$(basename "$host")" "$(basename "$dll")" out "$precision") 2>&1 |
    tee "$out/host-$precision.log" || status=$?
  grep -q " 0 failed" "$out/host-$precision.log" || status=1
done

for f in "$work"/out/*; do
  case "$f" in
    *.bmp) command -v convert >/dev/null && convert "$f" "$out/$(basename "${f%.bmp}").png" || cp "$f" "$out/" ;;
    *) [ -e "$f" ] && cp "$f" "$out/" ;;
  esac
done
exit $status
