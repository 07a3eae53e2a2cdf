#!/usr/bin/env bash
# The conversion dialog mid-conversion with the preview showing the video,
# on a virtual X display: PNG files in the given folder.
set -euo pipefail
tests=$1
out=$2
if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is not installed: skipped"
  exit 77
fi
rm -rf "$out"
mkdir -p "$out"
KAVROL_SCREENSHOT_DIR=$out QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$tests" --gtest_filter=ConvertDialog.ScreenshotMidConversion
for name in convert_midway_screen convert_midway_dialog convert_midway_preview; do
  if [ ! -s "$out/$name.png" ]; then
    echo "missing $out/$name.png"
    exit 1
  fi
done
echo "screenshots in $out"
