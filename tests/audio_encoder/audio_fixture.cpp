#include "audio_encoder/audio_fixture.h"

#include <mpg123.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "mpeg/audio/layer_coder.h"
#include "mpeg/stages.h"

namespace audio_test {

int PcmSource::GetAudio(int frame_number, const std::uint8_t*& data, int& byte_count, int& frames) {
  asked_frames.push_back(frame_number);
  const int call = calls++;
  frames = advance;
  if (call == error_at_call) return error_code;
  if (call == oversize_at_call) {
    block_.assign(192001, 0);
    data = block_.data();
    byte_count = 192001;
    return 0;
  }
  const std::size_t total = pcm_.size() * 2;
  if (offset_ >= total) return 50;
  std::size_t n = block_bytes > 0 ? static_cast<std::size_t>(block_bytes)
                                  : static_cast<std::size_t>(block_frames_) * channels_ * 2;
  n = std::min(n, total - offset_);
  block_.assign(reinterpret_cast<const std::uint8_t*>(pcm_.data()) + offset_,
                reinterpret_cast<const std::uint8_t*>(pcm_.data()) + offset_ + n);
  offset_ += n;
  data = block_.data();
  byte_count = static_cast<int>(n);
  return 0;
}

int PcmSource::GetAudioSamples(int start_sample, int wanted, const std::uint8_t*& data,
                               int& byte_count, int& sample_count) {
  const int call = calls++;
  if (call == error_at_call) return error_code;
  const std::size_t frames = pcm_.size() / static_cast<std::size_t>(channels_);
  if (static_cast<std::size_t>(start_sample) >= frames) return 50;
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(wanted), frames - start_sample);
  const auto* p = reinterpret_cast<const std::uint8_t*>(pcm_.data() + start_sample * channels_);
  block_.assign(p, p + n * channels_ * 2);
  data = block_.data();
  byte_count = static_cast<int>(block_.size());
  sample_count = static_cast<int>(n);
  return 0;
}

void RecordingStatus::Progress(const char* text, int percent) {
  progress_texts.emplace_back(text);
  percents.push_back(percent);
  if (stop_after_progress) stop_after_progress->stop_requested = true;
}

void RecordingStatus::Message(const char* text) { messages.emplace_back(text); }

bool RecordingStatus::has_message(const std::string& text) const {
  return std::find(messages.begin(), messages.end(), text) != messages.end();
}

int bitrate_index_for(int layer, int kbps) {
  for (int i = 1; i <= 14; ++i)
    if (corvexa::mpeg::audio::bitrate_kbps(layer, i) == kbps) return i;
  return -1;
}

void prepare(EncoderContext& ctx, const Settings& s, corvexa::mpeg::FrameSource* source,
             corvexa::mpeg::StatusSink* status, const std::string& path, int frame_count) {
  ctx.work = corvexa::mpeg::WorkingSettings{};
  ctx.work.audio_layer = s.layer;
  ctx.work.audio_mode = s.mode;
  ctx.work.psych_model = s.model;
  ctx.work.audio_bitrate_index = bitrate_index_for(s.layer, s.kbps);
  ctx.work.error_protection = s.error_protection;
  ctx.source = corvexa::mpeg::SourceInfo{};
  ctx.source.has_audio = true;
  ctx.source.sample_rate = s.sample_rate;
  ctx.source.bits_per_sample = 16;
  ctx.source.stereo = s.stereo_source;
  ctx.source.first_frame = 0;
  ctx.source.last_frame = frame_count - 1;
  ctx.frames = source;
  ctx.status = status;
  ctx.audio_file = path;
  ctx.audio_input_mode = corvexa::mpeg::AudioInputMode::kPerVideoFrame;
  ctx.stop_requested = false;
}

bool encode_stereo(const std::vector<short>& pcm, int rate, int model, int kbps, const std::string& path) {
  PcmSource source(pcm, 2, rate / 25);
  RecordingStatus status;
  EncoderContext ctx;
  Settings s;
  s.model = model;
  s.kbps = kbps;
  s.sample_rate = rate;
  prepare(ctx, s, &source, &status, path, 1 << 30);
  return corvexa::mpeg::run_audio_encoder(ctx);
}

Decoded decode_mpg123(const std::string& path) {
  Decoded d;
  static bool initialised = [] { return mpg123_init() == MPG123_OK; }();
  (void)initialised;
  int err = 0;
  mpg123_handle* h = mpg123_new(nullptr, &err);
  if (!h) {
    d.error = "mpg123_new";
    return d;
  }
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  mpg123_format_none(h);
  for (long rate : {32000L, 44100L, 48000L}) mpg123_format(h, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open(h, path.c_str()) != MPG123_OK) {
    d.error = mpg123_strerror(h);
    mpg123_delete(h);
    return d;
  }
  std::vector<unsigned char> buf(65536);
  d.ok = true;
  for (;;) {
    size_t done = 0;
    int r = mpg123_read(h, buf.data(), buf.size(), &done);
    if (r == MPG123_NEW_FORMAT) {
      long rate;
      int ch, enc;
      mpg123_getformat(h, &rate, &ch, &enc);
      d.sample_rate = static_cast<int>(rate);
      d.channels = ch;
    }
    const short* s = reinterpret_cast<const short*>(buf.data());
    d.pcm.insert(d.pcm.end(), s, s + done / 2);
    if (r == MPG123_DONE) break;
    if (r != MPG123_OK && r != MPG123_NEW_FORMAT) {
      d.ok = false;
      d.error = mpg123_strerror(h);
      break;
    }
  }
  mpg123_close(h);
  mpg123_delete(h);
  return d;
}

Decoded decode_libavcodec(const std::string& path, bool strict) {
  Decoded d;
  std::ifstream f(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MP2);
  AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_MP2);
  AVCodecContext* c = avcodec_alloc_context3(codec);
  if (strict) c->err_recognition = AV_EF_CRCCHECK | AV_EF_EXPLODE | AV_EF_BITSTREAM;
  c->request_sample_fmt = AV_SAMPLE_FMT_S16;
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  d.ok = avcodec_open2(c, codec, nullptr) == 0;
  bytes.resize(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  const std::size_t real = bytes.size() - AV_INPUT_BUFFER_PADDING_SIZE;
  auto drain = [&]() {
    while (avcodec_receive_frame(c, frame) == 0) {
      d.sample_rate = frame->sample_rate;
      d.channels = frame->ch_layout.nb_channels;
      for (int i = 0; i < frame->nb_samples; ++i)
        for (int ch = 0; ch < d.channels; ++ch) {
          double v;
          if (frame->format == AV_SAMPLE_FMT_S16P) v = reinterpret_cast<short*>(frame->data[ch])[i];
          else if (frame->format == AV_SAMPLE_FMT_S16) v = reinterpret_cast<short*>(frame->data[0])[i * d.channels + ch];
          else if (frame->format == AV_SAMPLE_FMT_FLTP) v = reinterpret_cast<float*>(frame->data[ch])[i] * 32768.0;
          else v = reinterpret_cast<float*>(frame->data[0])[i * d.channels + ch] * 32768.0;
          d.pcm.push_back(static_cast<short>(std::clamp(std::lround(v), -32768L, 32767L)));
        }
    }
  };
  std::size_t pos = 0;
  while (d.ok) {
    const int remaining = static_cast<int>(real - pos);
    int used = av_parser_parse2(parser, c, &pkt->data, &pkt->size, bytes.data() + pos, remaining,
                                AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    pos += static_cast<std::size_t>(used);
    if (pkt->size > 0) {
      if (avcodec_send_packet(c, pkt) < 0) {
        d.ok = false;
        d.error = "libavcodec rejected a frame";
      }
      drain();
    }
    if (remaining == 0 && pkt->size == 0) break;
  }
  avcodec_send_packet(c, nullptr);
  drain();
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&c);
  av_parser_close(parser);
  return d;
}

std::vector<FrameHeader> parse_frames(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<FrameHeader> out;
  std::size_t pos = 0;
  while (pos + 4 <= b.size()) {
    if (b[pos] != 0xFF || (b[pos + 1] & 0xF0) != 0xF0) return {};
    FrameHeader h;
    h.offset = static_cast<int>(pos);
    h.layer = 4 - ((b[pos + 1] >> 1) & 3);
    h.protection = (b[pos + 1] & 1) ? 0 : 1;
    h.bitrate_index = b[pos + 2] >> 4;
    const int sf = (b[pos + 2] >> 2) & 3;
    h.padding = (b[pos + 2] >> 1) & 1;
    h.mode = b[pos + 3] >> 6;
    h.mode_extension = (b[pos + 3] >> 4) & 3;
    const int rate = sf == 0 ? 44100 : sf == 1 ? 48000 : 32000;
    const int kbps = corvexa::mpeg::audio::bitrate_kbps(h.layer, h.bitrate_index);
    if (h.layer == 1) h.size = (12 * kbps * 1000 / rate + h.padding) * 4;
    else h.size = 144 * kbps * 1000 / rate + h.padding;
    if (h.size <= 4) return {};
    out.push_back(h);
    pos += static_cast<std::size_t>(h.size);
  }
  if (pos != b.size()) return {};
  return out;
}

std::vector<short> sine(int frames, int channels, int rate, double hz, double amplitude, double right_hz) {
  std::vector<short> v(static_cast<std::size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i)
    for (int ch = 0; ch < channels; ++ch) {
      const double f = (ch == 1 && right_hz > 0.0) ? right_hz : hz;
      v[static_cast<std::size_t>(i * channels + ch)] =
          static_cast<short>(std::lround(amplitude * std::sin(2.0 * M_PI * f * i / rate)));
    }
  return v;
}

std::vector<short> test_signal(int frames, int channels, int rate, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<short> v(static_cast<std::size_t>(frames) * channels);
  double phase = 0.0;
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double f = 100.0 * std::pow(150.0, std::fmod(t, 1.0));  // 100 Hz .. 15 kHz
    phase += 2.0 * M_PI * f / rate;
    const double burst = (static_cast<int>(t * 8) % 3 == 0) ? 2500.0 : 300.0;
    for (int ch = 0; ch < channels; ++ch) {
      double s = 8000.0 * std::sin(phase + ch * 0.7) + 3000.0 * std::sin(2.0 * M_PI * 440.0 * t) +
                 burst * noise(gen);
      v[static_cast<std::size_t>(i * channels + ch)] = static_cast<short>(std::clamp(s, -32768.0, 32767.0));
    }
  }
  return v;
}

namespace {

double snr_at(const std::vector<short>& original, const std::vector<short>& decoded, int channels, int lag,
              long from, long limit) {
  const long n = std::min(from + limit, static_cast<long>(original.size()) / channels);
  const long m = static_cast<long>(decoded.size()) / channels;
  double sig = 0.0, err = 0.0;
  for (long i = from; i < n && i + lag < m; ++i)
    for (int ch = 0; ch < channels; ++ch) {
      const double a = original[static_cast<std::size_t>(i * channels + ch)];
      const double b = decoded[static_cast<std::size_t>((i + lag) * channels + ch)];
      sig += a * a;
      err += (a - b) * (a - b);
    }
  return 10.0 * std::log10((sig + 1e-9) / (err + 1e-9));
}

}  // namespace

double aligned_snr(const std::vector<short>& original, const std::vector<short>& decoded, int channels,
                   int max_lag, int* lag_out) {
  // Candidate lags from a short stretch past the start; of those close to
  // the best, the one with the best SNR over everything (periodic signals
  // match at several lags there).
  const long frames = static_cast<long>(original.size()) / channels;
  const long from = frames > 14000 ? 2048 : 0;
  std::vector<double> window(static_cast<std::size_t>(max_lag + 1));
  double top = -1e9;
  for (int lag = 0; lag <= max_lag; ++lag) {
    window[static_cast<std::size_t>(lag)] = snr_at(original, decoded, channels, lag, from, 12000);
    top = std::max(top, window[static_cast<std::size_t>(lag)]);
  }
  double best = -1e9;
  int best_lag = 0;
  for (int lag = 0; lag <= max_lag; ++lag) {
    if (window[static_cast<std::size_t>(lag)] < top - 1.0) continue;
    const double snr = snr_at(original, decoded, channels, lag, 0, 1L << 40);
    if (snr > best) {
      best = snr;
      best_lag = lag;
    }
  }
  if (lag_out) *lag_out = best_lag;
  return best;
}

std::vector<short> decode_clip(const std::string& clip, int rate, int channels, double start_s, double seconds) {
  if (clip.empty()) return {};
  char cmd[2048];
  std::snprintf(cmd, sizeof cmd,
                "ffmpeg -v error -nostdin -ss %.3f -t %.3f -i '%s' -vn -ac %d -ar %d -f s16le -", start_s,
                seconds, clip.c_str(), channels, rate);
  FILE* p = popen(cmd, "r");
  if (!p) return {};
  std::vector<short> out;
  short buf[8192];
  size_t n;
  while ((n = fread(buf, sizeof(short), 8192, p)) > 0) out.insert(out.end(), buf, buf + n);
  pclose(p);
  return out;
}

}  // namespace audio_test
