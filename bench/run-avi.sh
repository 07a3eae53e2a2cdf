#!/bin/bash
# AVI reader benchmark: builds a ~2 GiB sparse AVI, times opening and reading
# each stream, compares with cat, and removes the file.
set -euo pipefail
BUILD=${BUILD:-build}
FILE=${1:-/tmp/kavrol-avi-bench.avi}
cmake --build "$BUILD" --target avi_bench -j2 >/dev/null
trap 'rm -f "$FILE"' EXIT
"$BUILD/bin/avi_bench" make "$FILE" 2
sync
"$BUILD/bin/avi_bench" read "$FILE"
start=$(date +%s.%N); cat "$FILE" > /dev/null; end=$(date +%s.%N)
size=$(stat -c %s "$FILE")
echo "cat: $(echo "$size / 1000000 / ($end - $start)" | bc -l | xargs printf '%.1f') MB/s"
