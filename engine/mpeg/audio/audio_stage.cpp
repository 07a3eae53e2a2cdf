#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "mpeg/audio/audio_input.h"
#include "mpeg/audio/layer_coder.h"
#include "mpeg/settings/encoder_context.h"
#include "mpeg/stages.h"
#include "mpeg/video/bit_writer.h"
#include "platform/ac3_encoder.h"

namespace corvexa::mpeg {

namespace {

using audio::AudioInput;
using audio::FrameParams;
using audio::LayerCoder;

struct AudioBuffers {
  short pcm[2][audio::kMaxFrameSamples] = {};
  LayerCoder coder;
};

// Whether a finished stream was written whole and holds a frame at all.
bool stream_complete(EncoderContext& ctx, const BitWriter& writer, long frames) {
  if (writer.failed()) {
    report_message(ctx, "Could not write to file %s", ctx.audio_file.c_str());
    return false;
  }
  if (frames == 0) {
    report_message(ctx, "No audio data to encode.");
    return false;
  }
  return true;
}

bool encode_audio(EncoderContext& ctx, BitWriter& writer) {
  const WorkingSettings& w = ctx.work;
  FrameParams p;
  std::string error;
  if (!audio::make_frame_params(w, ctx.source.sample_rate, p, error)) {
    report_message(ctx, "%s", error.c_str());
    return false;
  }
  std::unique_ptr<AudioBuffers> buffers;
  std::unique_ptr<AudioInput> input;
  try {
    buffers = std::make_unique<AudioBuffers>();
    input = std::make_unique<AudioInput>(ctx, ctx.source.stereo ? 2 : 1);
  } catch (const std::bad_alloc&) {
    report_message(ctx, "Could not allocate memory for audio buffers.");
    return false;
  }
  if (!buffers->coder.start(p)) {
    report_message(ctx, "Unknown audio sampling rate");
    return false;
  }
  const bool verbose = w.verbose != 0;
  if (verbose) {
    report_message(ctx, "   slots/frame = %d.", p.whole_slots);
    report_message(ctx, "   frac SpF=%.3f, tot bitrate=%d kbps, s freq=%.1f kHz.", p.fraction,
                   audio::bitrate_kbps(p.layer, p.bitrate_index), p.sample_rate / 1000.0);
    if (p.fraction != 0.0) report_message(ctx, "   Fractional number of slots, padding required.");
  }

  short* const pcm[2] = {buffers->pcm[0], buffers->pcm[1]};
  long frames = 0;
  const double start_bits = writer.bits_written();
  // The sound starts with the picture: the filterbank's delay is taken up
  // by samples of the sound itself, and frames follow until the last sample
  // is out of it again.
  long long samples_in = 0;
  if (ctx.start_sound_with_picture) {
    samples_in = input->fetch(pcm, audio::kFilterbankDelay, p.channels);
    if (input->failed()) return false;
    buffers->coder.prime(pcm, static_cast<int>(samples_in));
  }
  for (;;) {
    if (writer.failed()) {
      report_message(ctx, "Could not write to file %s", ctx.audio_file.c_str());
      return false;
    }
    if (stop_requested(ctx)) return false;
    const int got = input->fetch(pcm, p.samples_per_frame, p.channels);
    if (input->failed()) return false;
    if (got == 0) break;
    samples_in += got;
    buffers->coder.encode_frame(pcm, writer, &ctx, verbose);
    ++frames;
  }
  for (int ch = 0; ch < 2; ++ch) std::fill(pcm[ch], pcm[ch] + p.samples_per_frame, short{0});
  while (ctx.start_sound_with_picture && samples_in > 0 && (frames == 0 || static_cast<long long>(frames) * p.samples_per_frame < samples_in)) {
    if (stop_requested(ctx)) return false;
    buffers->coder.encode_frame(pcm, writer, &ctx, verbose);
    ++frames;
  }
  if (!stream_complete(ctx, writer, frames)) return false;
  const double bits = writer.bits_written() - start_bits;
  const double samples = static_cast<double>(frames) * p.samples_per_frame;
  report_message(ctx, "   Avg slots/frame = %.3f; b/smp = %.2f; br = %.3f kbps.",
                 bits / frames / p.bits_per_slot, bits / samples, bits * p.sample_rate / samples / 1000.0);
  return true;
}

// AC-3 frames from libavcodec, for discs whose players need not take MPEG
// audio.
bool encode_ac3(EncoderContext& ctx, BitWriter& writer) {
  const int channels = ctx.source.stereo ? 2 : 1;
  std::unique_ptr<platform::Ac3Encoder> coder =
      platform::Ac3Encoder::open(ctx.source.sample_rate, 2, ctx.ac3_bit_rate);
  if (!coder) {
    report_message(ctx, "AC-3 audio of %d Hz at %d bit/s cannot be encoded.", ctx.source.sample_rate,
                   ctx.ac3_bit_rate);
    return false;
  }
  // An AC-3 frame holds more samples than an MPEG audio frame.
  std::vector<short> left, right;
  std::unique_ptr<AudioInput> input;
  try {
    left.assign(static_cast<std::size_t>(coder->frame_samples()), 0);
    right.assign(left.size(), 0);
    input = std::make_unique<AudioInput>(ctx, channels);
  } catch (const std::bad_alloc&) {
    report_message(ctx, "Could not allocate memory for audio buffers.");
    return false;
  }
  short* const pcm[2] = {left.data(), right.data()};
  std::vector<std::uint8_t> coded;
  long frames = 0;
  auto put = [&] {
    for (std::uint8_t b : coded) writer.write_bits(b, 8);
    coded.clear();
  };
  for (;;) {
    if (stop_requested(ctx)) return false;
    const int got = input->fetch(pcm, coder->frame_samples(), 2);
    if (input->failed()) return false;
    if (got == 0) break;
    if (!coder->encode(pcm, got, coded)) {
      report_message(ctx, "AC-3 encoding failed.");
      return false;
    }
    put();
    ++frames;
  }
  if (!coder->flush(coded)) return false;
  put();
  return stream_complete(ctx, writer, frames);
}

}  // namespace

bool run_audio_encoder(EncoderContext& ctx) {
  begin_stage(ctx, kStageAudio);
  BitWriter writer;
  if (!writer.open(ctx, ctx.audio_file)) return false;
  bool ok = ctx.ac3_bit_rate > 0 ? encode_ac3(ctx, writer) : encode_audio(ctx, writer);
  // The file is flushed and closed on every path.
  if (!writer.close() && ok) {
    report_message(ctx, "Could not write to file %s", ctx.audio_file.c_str());
    ok = false;
  }
  return ok;
}

}  // namespace corvexa::mpeg
