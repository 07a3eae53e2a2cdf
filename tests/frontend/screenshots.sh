#!/usr/bin/env bash
# Runs kavrol's screenshot tour on a virtual X display (white desktop), then
# checks that every picture was written and that the main window is shaped:
# no magenta shows and the face's corners let the desktop through.
set -euo pipefail
program=$1
out=$2
if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is not installed: skipped"
  exit 77
fi
rm -rf "$out"
mkdir -p "$out"
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
XDG_CONFIG_HOME=$config xvfb-run -a -s "-screen 0 1024x768x24 -wr" \
  "$program" --screenshot-tour "$out"

pictures=(main_skin0 main_skin1 main_skin2 main_skin0_hot_button1 popup_menu
          popup_menu_convert popup_menu_skins about_box info_dialog components_dialog
          preview_window convert_dialog)
for name in "${pictures[@]}"; do
  if [ ! -s "$out/$name.png" ]; then
    echo "missing $out/$name.png"
    exit 1
  fi
done
if command -v convert >/dev/null; then
  for skin in 0 1 2; do
    shot="$out/main_skin$skin.png"
    magenta=$(convert "$shot" -fill black +opaque '#FF00FF' -fill white -opaque '#FF00FF' \
              -format '%[fx:mean]' info:)
    # The face's top-left corner (10 pixels in from the capture's edge) is
    # outside every skin's outline: the white desktop shows there.
    corner=$(convert "$shot" -format '%[pixel:p{11,11}]' info:)
    echo "skin $skin: magenta share $magenta, corner $corner"
    if [ "$magenta" != "0" ]; then echo "magenta shows in $shot"; exit 1; fi
    case "$corner" in
      white|"srgb(255,255,255)"|"rgb(255,255,255)"|"#FFFFFF") ;;
      *) echo "the window is not shaped in $shot"; exit 1 ;;
    esac
  done
fi
echo "screenshots in $out"
