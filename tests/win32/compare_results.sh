#!/usr/bin/env bash
# Every build hears and stores the same: the Wine runs (each DLL, each x87
# precision word) agree with each other on every audio digest and settings
# record, and with the portable core built natively on every digest it gives.
#   compare_results.sh REFERENCE_PROGRAM RESULTS.txt...
# Exits 77 (skipped) when a Wine run left no results (Wine not installed).
set -uo pipefail
reference=$1 && shift
for f in "$@"; do [ -f "$f" ] || { echo "no $f: skipped"; exit 77; }; done
core=$("$reference") || { echo "FAILED: $reference"; exit 1; }
first=$(tr -d '\r' <"$1")
passed=0 failed=0
# check WHAT DIFFERENCES: passed when there are none.
check() { if [ -z "$2" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); printf 'FAILED: %s\n%s\n' "$1" "$2"; fi; }
for f in "$@"; do
  run=$(tr -d '\r' <"$f")
  check "$f: digests of the portable core missing or different" "$(grep -vxF -f <(echo "$run") <<<"$core")"
  check "$f: differs from $1 (< first run, > this one)" "$(diff <(echo "$first") <(echo "$run"))"
done
echo "results: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
