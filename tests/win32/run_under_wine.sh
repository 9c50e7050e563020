#!/usr/bin/env bash
# Runs the Windows test host under 64-bit Wine on a private Xvfb display, in a
# throw-away Wine prefix, and turns its screenshots into PNG files.
#   run_under_wine.sh HOST.exe PLUGIN.dll SCREENSHOT_DIR
# Exits 77 (skipped) when Wine or Xvfb is not installed.
set -euo pipefail

host=$1 dll=$2 shots=$3
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
if [ ! -x "$wine" ] || ! command -v Xvfb >/dev/null; then
  echo "wine64 or Xvfb not installed: skipped"
  exit 77
fi
for f in "$host" "$dll"; do
  [ -f "$f" ] || { echo "missing $f (is mingw-w64 installed and the build done?)" >&2; exit 1; }
done

work=$(mktemp -d)
prefix=$(mktemp -d)
xvfb_pid=
cleanup() {
  WINEPREFIX="$prefix" "$wineserver" -k >/dev/null 2>&1 || true
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
mkdir -p "$work/shots"
export WINEPREFIX="$prefix" WINEDEBUG=-all DISPLAY=":$display"
# No Mono or Gecko installers: the host needs neither.
export WINEDLLOVERRIDES="mscoree=;mshtml="
# Creating the prefix, and leaving window management to Wine: with no window
# manager on the display, Wine would wait two seconds for every hidden
# top-level window to be withdrawn (the window hides on each change of effect).
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
status=0
mkdir -p "$shots"
(cd "$work" && timeout 240 "$wine" "$(basename "$host")" "$(basename "$dll")" shots) 2>&1 | tee "$shots/host.log" ||
  status=$?
grep -q " 0 failed" "$shots/host.log" || status=1

for bmp in "$work"/shots/*.bmp; do
  [ -e "$bmp" ] || continue
  if command -v convert >/dev/null; then
    convert "$bmp" "$shots/$(basename "${bmp%.bmp}").png"
  else
    cp "$bmp" "$shots/"
  fi
done
exit $status
