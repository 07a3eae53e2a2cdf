#include "support/avi_writer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace kavrol_test {

namespace {

using corvexa::make_fourcc;

class Bytes {
 public:
  void u8(std::uint8_t v) { data.push_back(v); }
  void u16(std::uint16_t v) { u8(v & 0xFF); u8(v >> 8); }
  void u32(std::uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); }
  void fourcc(const char* s) { u32(make_fourcc(s[0], s[1], s[2], s[3])); }
  void append(const void* p, std::size_t n) {
    if (n == 0) return;
    const auto* b = static_cast<const std::uint8_t*>(p);
    data.insert(data.end(), b, b + n);
  }
  std::size_t size() const { return data.size(); }
  void patch32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) data[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
  // Starts a chunk or list; returns the offset of its size field.
  std::size_t open(const char* id, const char* list_type = nullptr) {
    fourcc(id);
    std::size_t at = size();
    u32(0);
    if (list_type) fourcc(list_type);
    return at;
  }
  void close(std::size_t size_at) {
    patch32(size_at, static_cast<std::uint32_t>(size() - size_at - 4));
    if (size() & 1) u8(0);
  }
  std::vector<std::uint8_t> data;
};

std::string chunk_id(int stream, bool video, bool compressed) {
  char id[5];
  std::snprintf(id, sizeof id, "%02d%s", stream, video ? (compressed ? "dc" : "db") : "wb");
  return id;
}

}  // namespace

int AviWriter::add_video(const AviVideoFormat& layout) {
  Stream s{};
  s.video = true;
  s.video_spec = layout;
  streams_.push_back(s);
  return static_cast<int>(streams_.size()) - 1;
}

int AviWriter::add_audio(const AviAudioFormat& layout) {
  Stream s{};
  s.video = false;
  s.audio_spec = layout;
  streams_.push_back(s);
  return static_cast<int>(streams_.size()) - 1;
}

void AviWriter::add_chunk(int stream, std::vector<std::uint8_t> data, bool key) {
  streams_[static_cast<std::size_t>(stream)].chunks++;
  streams_[static_cast<std::size_t>(stream)].bytes += data.size();
  chunks_.push_back({stream, std::move(data), key});
}

bool AviWriter::write(const std::string& path, IndexKind index) const {
  Bytes out;
  std::size_t riff = out.open("RIFF", "AVI ");
  std::size_t hdrl = out.open("LIST", "hdrl");

  const Stream* first_video = nullptr;
  for (const Stream& s : streams_)
    if (s.video && first_video == nullptr) first_video = &s;
  std::size_t avih = out.open("avih");
  const AviVideoFormat* v = first_video ? &first_video->video_spec : nullptr;
  out.u32(v ? static_cast<std::uint32_t>(1e6 * v->scale / v->rate) : 0);
  out.u32(0);
  out.u32(0);
  out.u32(index == IndexKind::kNone ? 0 : 0x10);
  out.u32(first_video ? first_video->chunks : 0);
  out.u32(0);
  out.u32(static_cast<std::uint32_t>(streams_.size()));
  out.u32(1 << 20);
  out.u32(v ? (v->header_width ? v->header_width : static_cast<std::uint32_t>(v->width)) : 0);
  out.u32(v ? (v->header_height ? v->header_height : static_cast<std::uint32_t>(v->height)) : 0);
  for (int i = 0; i < 4; ++i) out.u32(0);
  out.close(avih);

  for (const Stream& s : streams_) {
    std::size_t strl = out.open("LIST", "strl");
    std::size_t strh = out.open("strh");
    if (s.video) {
      const AviVideoFormat& vs = s.video_spec;
      out.fourcc("vids");
      out.u32(vs.handler);
      out.u32(0);
      out.u16(0);
      out.u16(0);
      out.u32(0);
      out.u32(vs.scale);
      out.u32(vs.rate);
      out.u32(vs.start);
      out.u32(s.chunks);
      out.u32(1 << 20);
      out.u32(0xFFFFFFFF);
      out.u32(0);
      out.u16(0);
      out.u16(0);
      out.u16(static_cast<std::uint16_t>(vs.width));
      out.u16(static_cast<std::uint16_t>(vs.height));
    } else {
      const AviAudioFormat& as = s.audio_spec;
      std::uint32_t sample_size = as.sample_size ? as.sample_size : as.format.block_align;
      std::uint32_t length = as.length;
      if (length == 0) length = sample_size ? static_cast<std::uint32_t>(s.bytes / sample_size) : s.chunks;
      out.fourcc("auds");
      out.u32(0);
      out.u32(0);
      out.u16(0);
      out.u16(0);
      out.u32(0);
      out.u32(as.scale);
      out.u32(as.rate ? as.rate : as.format.samples_per_sec);
      out.u32(0);
      out.u32(length);
      out.u32(1 << 16);
      out.u32(0xFFFFFFFF);
      out.u32(sample_size);
      out.u32(0);
      out.u32(0);
    }
    out.close(strh);
    std::size_t strf = out.open("strf");
    if (s.video) {
      const AviVideoFormat& vs = s.video_spec;
      corvexa::BitmapInfoHeader bih{};
      bih.size = sizeof bih;
      bih.width = vs.width;
      bih.height = vs.top_down ? -vs.height : vs.height;
      bih.planes = 1;
      bih.bit_count = vs.bit_count;
      bih.compression = vs.compression;
      bih.size_image = static_cast<std::uint32_t>(((vs.width * vs.bit_count + 31) & ~31) / 8 * vs.height);
      bih.clr_used = vs.clr_used;
      out.append(&bih, sizeof bih);
      out.append(vs.colour_table.data(), vs.colour_table.size());
    } else {
      corvexa::WaveFormat wf = s.audio_spec.format;
      wf.extra_size = static_cast<std::uint16_t>(s.audio_spec.extra.size());
      out.append(&wf, sizeof wf);
      out.append(s.audio_spec.extra.data(), s.audio_spec.extra.size());
    }
    out.close(strf);
    out.close(strl);
  }
  out.close(hdrl);

  std::size_t movi = out.open("LIST", "movi");
  const std::size_t movi_fourcc = movi + 4;
  std::vector<std::uint32_t> offsets;
  for (const Chunk& c : chunks_) {
    const Stream& s = streams_[static_cast<std::size_t>(c.stream)];
    bool compressed = s.video && s.video_spec.compression != corvexa::kBiRgb;
    offsets.push_back(static_cast<std::uint32_t>(out.size()));
    std::string id = chunk_id(c.stream, s.video, compressed);
    std::size_t at = out.open(id.c_str());
    out.append(c.data.data(), c.data.size());
    out.close(at);
  }
  out.close(movi);

  if (index != IndexKind::kNone) {
    std::size_t idx1 = out.open("idx1");
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
      const Chunk& c = chunks_[i];
      const Stream& s = streams_[static_cast<std::size_t>(c.stream)];
      bool compressed = s.video && s.video_spec.compression != corvexa::kBiRgb;
      std::string id = chunk_id(c.stream, s.video, compressed);
      out.fourcc(id.c_str());
      out.u32(c.key ? 0x10 : 0);
      out.u32(index == IndexKind::kAbsolute ? offsets[i]
                                            : static_cast<std::uint32_t>(offsets[i] - movi_fourcc));
      out.u32(static_cast<std::uint32_t>(c.data.size()));
    }
    out.close(idx1);
  }
  out.close(riff);

  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(out.data.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok;
}

corvexa::WaveFormat pcm_format(int channels, int rate, int bits) {
  corvexa::WaveFormat f{};
  f.format_tag = corvexa::kWaveFormatPcm;
  f.channels = static_cast<std::uint16_t>(channels);
  f.samples_per_sec = static_cast<std::uint32_t>(rate);
  f.block_align = static_cast<std::uint16_t>(channels * bits / 8);
  f.avg_bytes_per_sec = f.samples_per_sec * f.block_align;
  f.bits_per_sample = static_cast<std::uint16_t>(bits);
  return f;
}

void test_pixel(int x, int y, int frame, std::uint8_t bgr[3]) {
  bgr[0] = static_cast<std::uint8_t>(x * 4 + frame * 7);
  bgr[1] = static_cast<std::uint8_t>(y * 5 + frame * 3);
  bgr[2] = static_cast<std::uint8_t>((x + y) * 2 + frame * 11);
}

std::vector<std::uint8_t> test_picture_bgr24(int width, int height, int frame) {
  const int stride = ((width * 24 + 31) & ~31) / 8;
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride) * height, 0);
  for (int y = 0; y < height; ++y) {
    // Bottom-up: the first stored row is the picture's last.
    std::uint8_t* row = rows.data() + static_cast<std::size_t>(height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) test_pixel(x, y, frame, row + 3 * x);
  }
  return rows;
}

std::vector<std::uint8_t> tone_pcm16(int rate, int channels, int samples, double hz,
                                     int first_sample) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(samples) * channels * 2);
  for (int i = 0; i < samples; ++i) {
    double t = static_cast<double>(first_sample + i) / rate;
    auto v = static_cast<std::int16_t>(std::lround(12000.0 * std::sin(2 * M_PI * hz * t)));
    for (int c = 0; c < channels; ++c) {
      std::size_t at = (static_cast<std::size_t>(i) * channels + c) * 2;
      out[at] = static_cast<std::uint8_t>(v & 0xFF);
      out[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
  }
  return out;
}

}  // namespace kavrol_test
