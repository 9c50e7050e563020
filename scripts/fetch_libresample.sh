#!/usr/bin/env bash
# Fetches Debian's source of libresample and unpacks it into DEST (default
# third_party/libresample), for the Windows cross builds, which have no
# packaged library to link against. Needs root the first time: it adds a
# deb-src entry mirroring the system's Debian deb entry and updates apt.
# Only the upstream .orig.tar.gz is used (src/*.c and include/libresample.h);
# the Debian patch archive is neither needed nor always served.
set -euo pipefail

dest=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/third_party/libresample}
if [ -f "$dest/include/libresample.h" ] && [ -f "$dest/src/resample.c" ]; then
  exit 0
fi

have_deb_src() {
  grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/
}

if ! have_deb_src; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "fetch_libresample: no deb-src entry and not root; cannot fetch libresample sources" >&2
    exit 1
  fi
  out=/etc/apt/sources.list.d/orve-deb-src.sources
  : > "$out.tmp"
  # deb822 stanzas of the Debian archive become deb-src stanzas of the same mirror and suites.
  for f in /etc/apt/sources.list.d/debian.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN{RS=""; ORS="\n\n"} /(^|\n)Types:[^\n]*deb/ && /debian/ {
           sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >> "$out.tmp"
  done
  # One-line entries of the classic list.
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb [^#]*debian' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/orve-deb-src.list || true
  fi
  if [ -s "$out.tmp" ]; then mv "$out.tmp" "$out"; else rm -f "$out.tmp"; fi
  apt-get -o DPkg::Lock::Timeout=900 update -qq
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source --download-only -qq libresample >/dev/null 2>&1 || true)
orig=$(ls "$work"/libresample_*.orig.tar.* 2>/dev/null | head -n1 || true)
if [ -z "$orig" ]; then
  echo "fetch_libresample: the libresample .orig tarball could not be downloaded" >&2
  exit 1
fi
mkdir -p "$work/unpack"
tar -xf "$orig" -C "$work/unpack"
top=$(find "$work/unpack" -mindepth 1 -maxdepth 1 -type d | head -n1)
mkdir -p "$(dirname "$dest")"
rm -rf "$dest"
mv "$top" "$dest"
echo "libresample sources in $dest" >&2
