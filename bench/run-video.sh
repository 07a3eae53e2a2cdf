#!/bin/sh
# Video encoder benchmark: a real 720x576 25 fps clip through the DVD and
# MPEG-1 settings. Reports frames per second, bit rate, Y-PSNR against the
# source and peak memory.
#   bench/run-video.sh [build-dir]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
bench=$build/bin/video_bench
clip=${KAVROL_MEDIA:-$here/../shared/media}/mjpeg_pcm.avi
[ -x "$bench" ] || { echo "build video_bench first (cmake --build $build --target video_bench)"; exit 1; }
[ -f "$clip" ] || { echo "clip $clip not present"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
w=720 h=576 fps=25
# Frames are paired by their index: the two inputs' time stamps differ.
ffmpeg -v error -i "$clip" -pix_fmt bgra -f rawvideo "$work/src.bgra"
frames=$(( $(stat -c %s "$work/src.bgra") / (w * h * 4) ))
echo "clip: $clip, ${w}x${h}, $frames frames"
for setting in "4 DVD m2v" "0 MPEG-1 m1v"; do
  set -- $setting
  out=$work/out.$3
  /usr/bin/time -v "$bench" "$work/src.bgra" $w $h $frames $1 "$out" >"$work/log" 2>"$work/time"
  bytes=$(stat -c %s "$out")
  rate=$(awk -v b="$bytes" -v f="$frames" -v r=$fps 'BEGIN{printf "%.0f", b*8*r/f}')
  psnr=$(ffmpeg -v info -i "$out" -f rawvideo -pix_fmt bgra -s ${w}x${h} -i "$work/src.bgra" \
    -lavfi "[0:v]setpts=N/($fps*TB),format=yuv420p[a];[1:v]setpts=N/($fps*TB),scale=out_range=tv:out_color_matrix=bt601,format=yuv420p[b];[a][b]psnr" \
    -f null - 2>&1 | sed -n 's/.* y:\([0-9.]*\).*/\1/p' | tail -1)
  fpsline=$(grep '^result' "$work/log")
  mem=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")
  echo "$2: $fpsline; $bytes bytes, $rate bit/s, Y-PSNR $psnr dB, peak RSS $mem kB"
done
