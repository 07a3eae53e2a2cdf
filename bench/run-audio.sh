#!/bin/sh
# Audio encoder benchmark: a few minutes of real sound (a clip of the shared
# media looped), 48 kHz stereo, layer II at 224 kbit/s with each model, then
# SNR per model and bit rate next to FFmpeg's MP2 encoder.
# Usage: bench/run-audio.sh [BUILD_DIR] [MINUTES]
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
minutes=${2:-3}
clip=${KAVROL_AUDIO_CLIP:-$here/../shared/media/src_tears-of-steel-battle-clip-medium.webm}
[ -f "$clip" ] || { echo "clip not found: $clip" >&2; exit 1; }
cmake --build "$build" -j2 --target bench_audio
pcm=$(mktemp /tmp/bench-audio-XXXXXX.raw)
trap 'rm -f "$pcm"' EXIT
ffmpeg -v error -nostdin -y -stream_loop -1 -i "$clip" -vn -t $((minutes * 60)) -ac 2 -ar 48000 -f s16le "$pcm"
"$build/bin/bench_audio" "$pcm" 48000 20
