#!/usr/bin/env bash
# Installs what is missing, builds, makes a short sample AVI (a moving test
# picture with a tone), converts it to a DVD program stream with kavrol-cli
# and says what came out.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
build=${KAVROL_BUILD_DIR:-build}
target=${KAVROL_SAMPLE_TARGET:-dvd}
sample_dir="$build/sample"
mkdir -p "$sample_dir"
sample="$sample_dir/sample.avi"
output="$sample_dir/sample-$target.mpg"
# Pictures and sound are coded at the source's size and rate: make the sample
# as the target's discs want them.
case "$target" in
  vcd) size=352x288 rate=44100 ;;
  mpeg1) size=352x288 rate=48000 ;;
  svcd) size=480x576 rate=44100 ;;
  *) size=720x576 rate=48000 ;;
esac
ffmpeg -nostdin -v error -y \
  -f lavfi -i "testsrc2=size=$size:rate=25:duration=4" \
  -f lavfi -i "sine=frequency=440:sample_rate=$rate:duration=4" \
  -c:v mpeg4 -vtag XVID -q:v 3 -c:a pcm_s16le -ac 2 "$sample"
echo "Sample: $sample (4 s, $size, 25 fps, $rate Hz stereo PCM)"
rm -f "$output"
status=0
"$build/bin/kavrol-cli" convert --target "$target" "$sample" -o "$output" || status=$?
if [ "$status" -eq 0 ] && [ -s "$output" ]; then
  echo "Produced: $output"
  ffprobe -v error -show_entries format=format_name,duration,size:stream=codec_name,width,height,r_frame_rate,sample_rate,channels \
    -of default=noprint_wrappers=1 "$output" | sed 's/^/  /'
else
  echo "The conversion failed (exit status $status); no output was produced."
fi
exit "$status"
