#!/bin/bash
# Our DVD, MPEG-2 and VideoCD video encoding against peer encoders on real
# clips: encode fps with one thread and with all cores, video bit rate,
# Y-PSNR against the source and peak memory. Peers: ffmpeg -target pal-dvd /
# pal-vcd at our average bit rate, and mjpegtools mpeg2enc when installed.
#   bench/run-peers.sh [build-dir]
# KAVROL_MEDIA: the media folder; FRAMES: frames per clip (default 125).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
bench=$build/bin/video_bench
media=${KAVROL_MEDIA:-$here/../shared/media}
frames=${FRAMES:-125}
cores=$(nproc)
[ -x "$bench" ] || { echo "build video_bench first (cmake --build $build --target video_bench)"; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found"; exit 1; }
# mpeg2enc comes from Debian's mjpegtools, installed for the benchmark only.
if ! command -v mpeg2enc >/dev/null && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
  apt-get install -y -qq mjpegtools >/dev/null 2>&1 ||
    { apt-get update -qq >/dev/null 2>&1 && apt-get install -y -qq mjpegtools >/dev/null 2>&1; } || true
fi
have_mpeg2enc=0
command -v mpeg2enc >/dev/null && have_mpeg2enc=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The clips: name, source file, size. Sources of another size or rate are
# scaled and their frames taken as 25 fps.
clips=(
  "pal-mjpeg mjpeg_pcm.avi 720x576"
  "pal-hikers src_video_02.mp4 720x576"
  "cif-mjpeg mjpeg_pcm.avi 352x288"
  "cif-hikers src_video_02.mp4 352x288"
)

results=$work/results
: >"$results"

# Y-PSNR of a decodable stream against the clip's yuv420p reference,
# frames paired by index.
ypsnr() {  # stream ref.yuv WxH
  ffmpeg -v error -y -i "$1" -f rawvideo -pix_fmt yuv420p "$work/dec.yuv"
  ffmpeg -v info -f rawvideo -pix_fmt yuv420p -s "$3" -i "$work/dec.yuv" \
    -f rawvideo -pix_fmt yuv420p -s "$3" -i "$2" -lavfi psnr -f null - 2>&1 |
    sed -n 's/.* y:\([0-9.inf]*\).*/\1/p' | tail -1
}

# Runs a command under time; prints "seconds peak_kB".
timed() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/log" 2>&1 || {
    echo "FAILED: $*" >&2; tail -3 "$work/log" >&2; return 1; }
  cat "$work/time"
}

# One result line: clip preset encoder threads fps kbit/s psnr peak_MB
record() {
  printf '%-11s %-8s %-18s %-4s %7s %8s %7s %7s\n' "$@" | tee -a "$results"
}

rate_of() {  # file frames -> kbit/s at 25 fps
  awk -v b="$(stat -c %s "$1")" -v f="$2" 'BEGIN{printf "%.0f", b*8*25/f/1000}'
}

printf '%-11s %-8s %-18s %-4s %7s %8s %7s %7s\n' clip preset encoder thr fps kbit/s Y-PSNR peakMB
for clip in "${clips[@]}"; do
  set -- $clip
  name=$1 file=$media/$2 size=$3
  w=${size%x*} h=${size#*x}
  [ -f "$file" ] || { echo "$name: $file not present, skipped"; continue; }
  # Reference and inputs: BGRA for our encoder, yuv420p (BT.601, video
  # range) for the peers and for PSNR; both from the same scaled frames.
  ffmpeg -v error -y -i "$file" -frames:v "$frames" -vf "scale=$w:$h,setsar=1" \
    -pix_fmt bgra -f rawvideo "$work/src.bgra"
  n=$(( $(stat -c %s "$work/src.bgra") / (w * h * 4) ))
  ffmpeg -v error -y -f rawvideo -pix_fmt bgra -s "$size" -r 25 -i "$work/src.bgra" \
    -vf "scale=out_range=tv:out_color_matrix=bt601" -pix_fmt yuv420p -f rawvideo "$work/ref.yuv"
  ffmpeg -v error -y -f rawvideo -pix_fmt yuv420p -s "$size" -r 25 -i "$work/ref.yuv" \
    -f yuv4mpegpipe "$work/ref.y4m"

  if [ "$w" = 720 ]; then
    ours="4:DVD:pal-dvd:8 2:MPEG-2:pal-dvd:3"
  else
    # VideoCD is the constant-rate 1150 kbit/s preset; MPEG-1 the free one.
    ours="1:VideoCD:pal-vcd:1 0:MPEG-1:pal-vcd:0"
  fi
  for o in $ours; do
    IFS=: read -r kind label target m2e_format <<<"$o"
    ext=m2v
    [ "$kind" -le 1 ] && ext=m1v
    out=$work/ours.$ext
    rate=n/a psnr=n/a
    for t in 1 "$cores"; do
      if r=$(KAVROL_THREADS=$t timed "$bench" "$work/src.bgra" "$w" "$h" "$n" "$kind" "$out"); then
        set -- $r
        fps=$(awk -v f="$n" -v s="$1" 'BEGIN{printf "%.1f", f/s}')
        mem=$(( $2 / 1024 ))
        if [ "$psnr" = n/a ]; then
          rate=$(rate_of "$out" "$n")
          psnr=$(ypsnr "$out" "$work/ref.yuv" "$size")
        fi
        record "$name" "$label" ours "$t" "$fps" "$rate" "$psnr" "$mem"
      else
        record "$name" "$label" ours "$t" n/a n/a n/a n/a
      fi
    done
    # The same frames as decoded sources hand them over: yuv420p planes,
    # without the trip through RGB and the chroma filters.
    pout=$work/planes.$ext
    ppsnr=n/a
    for t in 1 "$cores"; do
      if r=$(KAVROL_THREADS=$t timed "$bench" "$work/ref.yuv" "$w" "$h" "$n" "$kind" "$pout"); then
        set -- $r
        fps=$(awk -v f="$n" -v s="$1" 'BEGIN{printf "%.1f", f/s}')
        [ "$ppsnr" = n/a ] && ppsnr=$(ypsnr "$pout" "$work/ref.yuv" "$size") && prate=$(rate_of "$pout" "$n")
        record "$name" "$label" ours-planes "$t" "$fps" "$prate" "$ppsnr" $(( $2 / 1024 ))
      fi
    done
    [ "$rate" = n/a ] && continue
    # ffmpeg with the same target at our average rate; where ours is the
    # higher, the target's peak rate is raised to 1.5 times it.
    peak=$(( rate * 3 / 2 ))
    if [ "$target" = pal-dvd ]; then
      limits="-maxrate:v $(( peak > 9000 ? peak : 9000 ))k"
    elif [ "$kind" = 1 ]; then
      # The VideoCD target's constant 1150 kbit/s, widened to take our rate.
      limits="-maxrate:v $(( rate > 1150 ? rate : 1150 ))k -minrate:v $(( rate < 1150 ? rate : 1150 ))k"
    else
      limits="-maxrate:v $(( peak > 1150 ? peak : 1150 ))k -minrate:v 0 -bufsize:v 1835k"
    fi
    fout=$work/ffmpeg.$ext
    fpsnr=n/a
    for t in 1 0; do
      label_t=$t
      [ "$t" = 0 ] && label_t=$cores
      if r=$(timed ffmpeg -v error -y -f rawvideo -pix_fmt yuv420p -s "$size" -r 25 -i "$work/ref.yuv" \
               -target "$target" -an -b:v "${rate}k" $limits -threads "$t" \
               -f "$( [ "$ext" = m2v ] && echo mpeg2video || echo mpeg1video )" \
               "$fout"); then
        set -- $r
        fps=$(awk -v f="$n" -v s="$1" 'BEGIN{printf "%.1f", f/s}')
        fpsnr=$(ypsnr "$fout" "$work/ref.yuv" "$size")
        record "$name" "$label" "ffmpeg:$target" "$label_t" "$fps" "$(rate_of "$fout" "$n")" "$fpsnr" $(( $2 / 1024 ))
      fi
    done
    if [ "$have_mpeg2enc" = 1 ]; then
      mout=$work/mpeg2enc.$ext
      for t in 0 "$cores"; do
        label_t=$t
        [ "$t" = 0 ] && label_t=1
        if r=$(timed sh -c "mpeg2enc -v 0 -f $m2e_format -b $rate -M $t -o '$mout' < '$work/ref.y4m'"); then
          set -- $r
          fps=$(awk -v f="$n" -v s="$1" 'BEGIN{printf "%.1f", f/s}')
          record "$name" "$label" "mpeg2enc:-f$m2e_format" "$label_t" "$fps" "$(rate_of "$mout" "$n")" \
            "$(ypsnr "$mout" "$work/ref.yuv" "$size")" $(( $2 / 1024 ))
        fi
      done
    fi
  done
done

echo
echo "Ratios, ours / peer (fps with one thread and with all cores, bit rate); Y-PSNR as ours - peer"
awk -v cores="$cores" '
  # $1 clip, $2 preset, $3 encoder, $4 threads, $5 fps, $6 kbit/s, $7 PSNR
  { g = $1 " " $2; fps[g, $3, $4] = $5; rate[g, $3] = $6; psnr[g, $3] = $7
    if (!(g in seen)) { seen[g] = 1; groups[++n] = g }
    if ($3 != "ours" && !((g, $3) in known)) { known[g, $3] = 1; peers[g] = peers[g] " " $3 } }
  function ratio(a, b) { return (a + 0 > 0 && b + 0 > 0) ? sprintf("%.2f", a / b) : "n/a" }
  END {
    for (i = 1; i <= n; ++i) {
      g = groups[i]; m = split(peers[g], p, " ")
      for (j = 1; j <= m; ++j) {
        q = p[j]
        d = (psnr[g, "ours"] + 0 > 0 && psnr[g, q] + 0 > 0) ? sprintf("%+.2f", psnr[g, "ours"] - psnr[g, q]) : "n/a"
        printf "%-20s vs %-18s fps(1 thread) %5s  fps(%d) %5s  bit rate %5s  Y-PSNR %6s dB\n", g, q,
          ratio(fps[g, "ours", 1], fps[g, q, 1]), cores, ratio(fps[g, "ours", cores], fps[g, q, cores]),
          ratio(rate[g, "ours"], rate[g, q]), d
      }
    }
  }' "$results"
