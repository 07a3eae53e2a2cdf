#!/bin/sh
# Video encoder benchmark on real clips:
# - a 720x576 25 fps clip through the DVD and MPEG-1 settings: frames per
#   second, bit rate, Y-PSNR against the source, peak memory; for DVD also
#   how many GOPs broke the bounds and were coded again;
# - an action clip at 720x576 through the DVD settings: GOPs coded again;
# - the same clip at 352x288 through the VideoCD settings (constant bit rate):
#   the average rate against 1150000 bit/s and the VBV notes of the run.
#   bench/run-video.sh [build-dir]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
bench=$build/bin/video_bench
media=${KAVROL_MEDIA:-$here/../shared/media}
clip=$media/mjpeg_pcm.avi
vcd_clip=$media/xvid_mp3.avi
[ -x "$bench" ] || { echo "build video_bench first (cmake --build $build --target video_bench)"; exit 1; }
[ -f "$clip" ] || { echo "clip $clip not present"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Y-PSNR of an elementary stream against raw BGRA frames, paired by index
# (the two inputs' time stamps differ).
psnr() { # out raw w h fps
  ffmpeg -v info -i "$1" -f rawvideo -pix_fmt bgra -s "$3x$4" -i "$2" \
    -lavfi "[0:v]setpts=N/($5*TB),format=yuv420p[a];[1:v]setpts=N/($5*TB),scale=out_range=tv:out_color_matrix=bt601,format=yuv420p[b];[a][b]psnr" \
    -f null - 2>&1 | sed -n 's/.* y:\([0-9.]*\).*/\1/p' | tail -1
}

# GOPs that were coded again: a "GOP #" line followed by "new mquant" lines.
redone_gops() {
  awk '/  GOP #/ { if (redo) n++; redo = 0 } /new mquant/ { redo = 1; codings++ }
       END { if (redo) n++; printf "%d of %d GOPs coded again (%d extra codings)", n, gops, codings }
       /  GOP #/ { gops++ }' "$1"
}

w=720 h=576 fps=25
ffmpeg -v error -i "$clip" -pix_fmt bgra -f rawvideo "$work/src.bgra"
frames=$(( $(stat -c %s "$work/src.bgra") / (w * h * 4) ))
echo "clip: $clip, ${w}x${h}, $frames frames"
for setting in "4 DVD m2v" "0 MPEG-1 m1v"; do
  set -- $setting
  out=$work/out.$3
  /usr/bin/time -v "$bench" "$work/src.bgra" $w $h $frames $1 "$out" 58 3 1 >"$work/log" 2>"$work/time"
  bytes=$(stat -c %s "$out")
  rate=$(awk -v b="$bytes" -v f="$frames" -v r=$fps 'BEGIN{printf "%.0f", b*8*r/f}')
  fpsline=$(grep '^result' "$work/log")
  mem=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")
  echo "$2: $fpsline; $bytes bytes, $rate bit/s, Y-PSNR $(psnr "$out" "$work/src.bgra" $w $h $fps) dB, peak RSS $mem kB"
  peak=$(sed -n 's/^   Max bitrate over any one second = //p' "$work/log")
  [ "$1" = 4 ] && echo "DVD: $(redone_gops "$work/log"), peak one-second rate $peak (max_bit_rate 9800000)"
done

if [ -f "$vcd_clip" ]; then
  # The action clip at DVD size: detail and motion that break the bound.
  w=720 h=576
  ffmpeg -v error -i "$vcd_clip" -vf scale=$w:$h -pix_fmt bgra -f rawvideo "$work/d1.bgra"
  frames=$(( $(stat -c %s "$work/d1.bgra") / (w * h * 4) ))
  out=$work/action.m2v
  "$bench" "$work/d1.bgra" $w $h $frames 4 "$out" 58 3 1 >"$work/log"
  bytes=$(stat -c %s "$out")
  rate=$(awk -v b="$bytes" -v f="$frames" -v r=$fps 'BEGIN{printf "%.0f", b*8*r/f}')
  peak=$(sed -n 's/^   Max bitrate over any one second = //p' "$work/log")
  echo "DVD: $vcd_clip at ${w}x${h}, $frames frames: $(grep '^result' "$work/log"); $rate bit/s, Y-PSNR $(psnr "$out" "$work/d1.bgra" $w $h $fps) dB"
  echo "DVD: $(redone_gops "$work/log"), peak one-second rate $peak (max_bit_rate 9800000)"

  w=352 h=288
  ffmpeg -v error -i "$vcd_clip" -vf scale=$w:$h -pix_fmt bgra -f rawvideo "$work/cif.bgra"
  frames=$(( $(stat -c %s "$work/cif.bgra") / (w * h * 4) ))
  out=$work/out.m1v
  "$bench" "$work/cif.bgra" $w $h $frames 1 "$out" >"$work/log"
  bytes=$(stat -c %s "$out")
  accuracy=$(awk -v b="$bytes" -v f="$frames" -v r=$fps 'BEGIN{x=b*8*r/f; printf "%.0f bit/s, %+.2f%% from 1150000", x, (x-1150000)/11500}')
  vbv=$(grep -E '^   VBV delay (overflows|underflows)' "$work/log" | tr -s ' ' | tr '\n' ';' || true)
  echo "VideoCD: $vcd_clip at ${w}x${h}, $frames frames: $(grep '^result' "$work/log"); $accuracy, Y-PSNR $(psnr "$out" "$work/cif.bgra" $w $h $fps) dB, VBV: ${vbv:-no violations}"
  grep -E '^   (Avg mquant|Max padding)' "$work/log" | sed 's/^   /VideoCD: /'
else
  echo "VideoCD: $vcd_clip not present"
fi
