#include "mpeg/settings/encoder_context.h"

#include <algorithm>
#include <cstdio>

#include "mpeg/stages.h"

namespace corvexa::mpeg {

StageTable default_stages() {
  return StageTable{&encode_video_stream, &run_audio_encoder, &run_multiplexer};
}

EncoderContext& encoder_context() {
  static EncoderContext context;
  return context;
}

namespace {

void format_into(char* out, std::size_t size, const char* format, std::va_list args) {
  std::vsnprintf(out, size, format, args);
}

}  // namespace

void report_message(EncoderContext& ctx, const char* format, ...) {
  if (ctx.status == nullptr) return;
  char text[1024];
  std::va_list args;
  va_start(args, format);
  format_into(text, sizeof text, format, args);
  va_end(args);
  ctx.status->Message(text);
}

void begin_stage(EncoderContext& ctx, int stage) {
  ctx.stage = stage;
  ctx.progress_shown = -1;
  set_progress_window(ctx, 0, 100);
  if (ctx.status != nullptr) ctx.status->StageStarted(stage);
}

void set_progress_window(EncoderContext& ctx, int base, int span) {
  ctx.progress_base = base;
  ctx.progress_span = span;
}

void report_progress(EncoderContext& ctx, int percent, const char* format, ...) {
  if (ctx.status == nullptr) return;
  if (percent >= 0) {
    percent = ctx.progress_base + percent * ctx.progress_span / 100;
    percent = std::max(percent, ctx.progress_shown);
    ctx.progress_shown = percent;
  }
  char text[1024];
  std::va_list args;
  va_start(args, format);
  format_into(text, sizeof text, format, args);
  va_end(args);
  ctx.status->Progress(text, percent);
}

}  // namespace corvexa::mpeg
