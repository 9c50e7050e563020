#!/bin/sh
# cmake --install puts the bundle in the LV2 path: <prefix>/lib/lv2 for a
# system prefix, ~/.lv2 for a prefix in the home folder, DESTDIR in front.
# Usage: check_install.sh BUILD_DIR
set -eu
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
check() {
  for f in manifest.ttl orve_studio_lv2.so restoration-denoise.ttl; do
    [ -f "$1/orve-studio.lv2/$f" ] || { echo "missing $1/orve-studio.lv2/$f" >&2; exit 1; }
  done
}
DESTDIR="$scratch/stage" cmake --install "$build" --component lv2 --prefix /usr >/dev/null
check "$scratch/stage/usr/lib/lv2"
mkdir -p "$scratch/home"
HOME="$scratch/home" cmake --install "$build" --component lv2 --prefix "$scratch/home/.local" >/dev/null
check "$scratch/home/.lv2"
LV2_PATH="$scratch/home/.lv2" lv2ls | grep -qx 'https://orve-studio.org/lv2/restoration-denoise'
