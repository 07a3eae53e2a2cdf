#include "mpeg/settings/run_entry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "mpeg/settings/presets.h"
#include "mpeg/settings/run_files.h"
#include "mpeg/settings/validation.h"
#include "mpeg/video/cpu_features.h"

namespace corvexa::mpeg {

namespace {

constexpr double kStandardFrameRates[9] = {
    0, 24000.0 / 1001.0, 24, 25, 30000.0 / 1001.0, 30, 50, 60000.0 / 1001.0, 60};

// The output name without its last extension ("/a.b/c" keeps its folder's dot).
std::string without_extension(const std::string& name) {
  std::size_t dot = name.rfind('.');
  std::size_t slash = name.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name;
  return name.substr(0, dot);
}

bool remove_file(const std::string& name) {
  std::error_code ec;
  return std::filesystem::remove(name, ec) && !ec;
}

// Moves `from` onto `to`, replacing it.
bool replace_file(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

// The audio stream's extension: AC-3 or MPEG audio.
const char* audio_extension(const EncoderContext& ctx) { return ctx.ac3_bit_rate > 0 ? ".ac3" : ".mp2"; }

// An empty elementary stream file under a name of its own beside the output.
bool create_intermediate(EncoderContext& ctx, const char* tag, std::string& name) {
  const int fd = create_unique_file(folder_of(ctx.output_name), tag, name);
  if (fd < 0) {
    report_message(ctx, "Unable to create a temporary file beside %s: %s.",
                   ctx.output_name.c_str(), std::strerror(errno));
    name.clear();
    return false;
  }
  ::close(fd);
  return true;
}

// The output name without its extension, plus `extension`: the name a kept
// elementary stream is known by.
void keep_stream(EncoderContext& ctx, std::string& name, const char* extension) {
  const std::string kept = without_extension(ctx.output_name) + extension;
  if (kept == ctx.output_name || !replace_file(name, kept)) {
    report_message(ctx, "Unable to keep the stream as %s.", kept.c_str());
    return;
  }
  name = kept;
}

bool is_kept(const EncoderContext& ctx, const std::string& name) {
  const std::string stem = without_extension(ctx.output_name);
  return name == stem + ".m1v" || name == stem + ".m2v" || name == stem + ".mp2" ||
         name == stem + ".ac3";
}

// A run succeeds only with a regular output file in place.
bool output_present(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

void init_encoder(EncoderContext& ctx) {
  ctx.cpu_features = detect_cpu();
  ctx.kernel_class = kernel_class(ctx.cpu_features);
  ctx.audio_input_mode = AudioInputMode::kPerVideoFrame;
  ctx.default_extension = ".mpg";
  ctx.video_file.clear();
  ctx.audio_file.clear();
  ctx.audio2_file.clear();
  ctx.source.stereo = true;
  ctx.source.width = 0;
  ctx.source.height = 0;
  apply_preset(ctx, ctx.record, kMpeg1, true);
}

void describe_encoder(const EncoderContext& ctx, EncoderDescriptor& descriptor) {
  descriptor.max_width = 1920;
  descriptor.max_height = 1152;
  static thread_local std::string name;
  name = "temp" + ctx.default_extension;
  descriptor.default_output_name = name.c_str();
  descriptor.flags = 0;
}

void load_settings(EncoderContext& ctx, const EncoderSettings& record) {
  static_cast<EncoderSettings&>(ctx.work) = record;
  ctx.work.avg_act_initial = record.init_avg_act;
}

void store_settings(const EncoderContext& ctx, EncoderSettings& record) {
  record = static_cast<const EncoderSettings&>(ctx.work);
  record.init_avg_act = static_cast<std::int32_t>(ctx.work.avg_act_initial);
}

void request_stop(EncoderContext& ctx) {
  if (ctx.running.load()) ctx.stop_requested.store(true);
}

bool adjust_to_source(EncoderContext& ctx, EncoderSettings& w) {
  const SourceInfo& s = ctx.source;
  bool encodable = true;
  if (s.has_video) {
    const int width = s.width;
    const int height = s.height;
    if (width < 1 || width > 1920 || height < 1 || height > 1152 || width % 2 || height % 2) {
      report_message(ctx, "Picture size %dx%d cannot be encoded.", width, height);
      encodable = false;
    } else {
      if (width > 1440 && w.level != 4) {
        w.level = 4;
        if (w.profile > 4) w.profile = 4;
      }
      if ((width > 720 || height > 576) && w.level > 6) {
        w.level = 6;
        if (w.profile > 4) w.profile = 4;
      }
      if ((width > 352 || height > 288) && w.level > 8) w.level = 8;
      // The display extension describes the picture that is coded.
      w.display_horizontal_size = width;
      w.display_vertical_size = height;
      if (w.frame_rate_code > 3) {
        const LevelLimits* level = level_limits(w.level);
        while (level != nullptr && w.frame_rate_code > 3 &&
               static_cast<double>(width) * height * w.frame_rate > level->luma_rate) {
          --w.frame_rate_code;
          w.frame_rate = kStandardFrameRates[w.frame_rate_code];
        }
      }
    }
  }
  if (s.has_audio) {
    if (w.audio_mode == 3 && w.audio_bitrate_index > 10) w.audio_bitrate_index = 10;
    // The mode follows the source: a rate chosen for the other mode may be
    // one layer II forbids for this one.
    w.audio_bitrate_index = layer2_allowed_index(w.audio_layer, w.audio_mode, w.audio_bitrate_index);
    if (s.bits_per_sample != 16 ||
        (s.sample_rate != 32000 && s.sample_rate != 44100 && s.sample_rate != 48000)) {
      report_message(ctx, "Audio of %d Hz with %d bits per sample cannot be encoded.",
                     s.sample_rate, s.bits_per_sample);
      encodable = false;
    }
  }
  return encodable;
}

int encode(EncoderContext& ctx, FrameSource* frames, const SourceInfo& source) {
  // Step 1: a fresh run over the record.
  ctx.stop_requested.store(false);
  ctx.frames = frames;
  ctx.source = source;
  load_settings(ctx, ctx.record);
  WorkingSettings& w = ctx.work;
  // The coded rate is the code's: a source rate handed in beside the code
  // (12.5 fps coded as 25 with every frame twice) must not skew rate control.
  if (w.frame_rate_code >= 1 && w.frame_rate_code <= 8)
    w.frame_rate = kStandardFrameRates[w.frame_rate_code];

  // Steps 2-4: which streams this run encodes and whether it multiplexes.
  if (ctx.source.has_video) {
    ctx.source.width -= ctx.source.width % 2;
    ctx.source.height -= ctx.source.height % 2;
    w.encode_video = w.want_video;
  } else {
    w.encode_video = 0;
  }
  if (ctx.source.has_audio) {
    w.audio_mode = ctx.source.stereo ? 0 : 3;
    w.encode_audio = w.want_audio;
  } else {
    w.encode_audio = 0;
  }
  w.mux_video = w.mux_audio = (w.encode_video != 0) == (w.encode_audio != 0) ? 1 : 0;

  // Step 5: rates from the picture size.
  if (ctx.source.has_video && w.auto_bit_rate) {
    store_settings(ctx, ctx.record);
    recompute_rates(ctx, ctx.record);
    load_settings(ctx, ctx.record);
  }

  // Step 6: file names. The output keeps its name; the elementary streams get
  // names of their own beside it when the stages are about to run, so no
  // output name can make them collide with the output, the input or a file
  // that is already there.
  ctx.output_name = ctx.source.output_path.empty() ? "temp" + ctx.default_extension
                                                   : ctx.source.output_path;
  const bool video_named = ctx.source.has_video;
  const bool audio_named = ctx.source.has_audio;
  ctx.video_file.clear();
  ctx.audio_file.clear();
  ctx.audio2_file.clear();
  ctx.pending_outputs.clear();
  // A source whose sound had to be dropped still becomes the target's
  // program stream, with the video alone.
  if (ctx.source.keep_program_stream && w.encode_video && !w.encode_audio) {
    w.mux_video = 1;
    w.mux_audio = 0;
  }

  // Step 7: fit the settings to the source. A stream that cannot be encoded
  // fails the run rather than being dropped without a word.
  bool ok = true;
  if (ctx.source.has_video || ctx.source.has_audio) ok = adjust_to_source(ctx, w);

  // Step 8a: names the selected stages need.
  const bool muxing = w.mux_video || w.mux_audio;
  if ((w.encode_video || w.mux_video) && !video_named) ok = false;
  if ((w.encode_audio || w.mux_audio) && !audio_named) ok = false;
  if (muxing && ctx.output_name.empty()) ok = false;

  // Step 8b: the adjusted settings become visible in the record.
  if (ok) {
    store_settings(ctx, ctx.record);
    if (w.encode_video && !validate_video(w, ctx.source.width, ctx.source.height)) ok = false;
    if (w.encode_audio && !validate_audio(w)) ok = false;
  }
  if (ok) {
    ok = (!video_named ||
          create_intermediate(ctx, is_mpeg2(w.mpeg_type) ? ".m2v" : ".m1v", ctx.video_file)) &&
         (!audio_named || create_intermediate(ctx, audio_extension(ctx), ctx.audio_file));
  }

  bool video_ok = true, audio_ok = true, mux_ok = true;
  const bool encoded_video = w.encode_video != 0;
  const bool encoded_audio = w.encode_audio != 0;
  const bool multiplexed = muxing;
  const bool keep_video = w.keep_video_stream != 0;
  const bool keep_audio = w.keep_audio_stream != 0;
  if (ok) {
    // Steps 8c-8e.
    ctx.running.store(true);
    ctx.hold_outputs = true;
    if (encoded_video) video_ok = ctx.stages.video(ctx);
    if (video_ok && !stop_requested(ctx) && encoded_audio) audio_ok = ctx.stages.audio(ctx);
    if (video_ok && audio_ok && !stop_requested(ctx) && multiplexed) mux_ok = ctx.stages.mux(ctx);
    ctx.hold_outputs = false;
    ctx.running.store(false);
    ok = video_ok && audio_ok && mux_ok && !stop_requested(ctx);
  }
  load_settings(ctx, ctx.record);

  // Step 9: the output takes its name only now; a lone elementary stream
  // becomes the output itself.
  std::string failed;
  if (ok && multiplexed && !commit_outputs(ctx.pending_outputs, failed)) {
    report_message(ctx, "Unable to rename the finished output to %s.", failed.c_str());
    ok = false;
  }
  if (ok && !multiplexed) {
    std::string& lone = encoded_video ? ctx.video_file : ctx.audio_file;
    if (!replace_file(lone, ctx.output_name)) {
      report_message(ctx, "Unable to rename %s to %s.", lone.c_str(), ctx.output_name.c_str());
      ok = false;
    } else {
      lone = ctx.output_name;
    }
  }
  if (ok && multiplexed) {
    // Streams the settings ask to keep take the names they are known by.
    if (encoded_video && keep_video) keep_stream(ctx, ctx.video_file, is_mpeg2(w.mpeg_type) ? ".m2v" : ".m1v");
    if (encoded_audio && keep_audio) keep_stream(ctx, ctx.audio_file, audio_extension(ctx));
  }
  // Whatever did not become a result goes: a failed or stopped run leaves
  // the folder as it found it.
  discard_outputs(ctx.pending_outputs);
  for (const std::string* name : {&ctx.video_file, &ctx.audio_file})
    if (!name->empty() && *name != ctx.output_name && !is_kept(ctx, *name)) remove_file(*name);
  if (ok && !output_present(ctx.output_name)) {
    report_message(ctx, "The output %s is missing after the run.", ctx.output_name.c_str());
    ok = false;
  }
  ctx.frames = nullptr;
  return ok ? kRunSucceeded : kRunFailed;
}

}  // namespace corvexa::mpeg
