#include "mpeg/mux/stream_info.h"

#include "mpeg/mux/byte_order.h"

namespace corvexa::mpeg::mux {

void encode_video_unit(const VideoUnit& unit, bool with_extension, std::uint8_t* out) {
  put_le32(out, unit.size);
  put_le16(out + 4, unit.type);
  put_le16(out + 6, unit.flags);
  put_le16(out + 8, unit.insert_offset);
  put_le16(out + 10, unit.header_bytes);
  put_le32(out + 12, unit.gop_reference_ticks);
  store_record(to_record(unit.dts, with_extension), out + 16);
  store_record(to_record(unit.pts, with_extension), out + 32);
}

VideoUnit decode_video_unit(const std::uint8_t* in) {
  VideoUnit u;
  u.size = get_le32(in);
  u.type = static_cast<std::uint16_t>(get_le16(in + 4));
  u.flags = static_cast<std::uint16_t>(get_le16(in + 6));
  u.insert_offset = static_cast<std::uint16_t>(get_le16(in + 8));
  u.header_bytes = static_cast<std::uint16_t>(get_le16(in + 10));
  u.gop_reference_ticks = get_le32(in + 12);
  u.dts = from_record(load_record(in + 16));
  u.pts = from_record(load_record(in + 32));
  return u;
}

void encode_audio_unit(const AudioUnit& unit, bool with_extension, std::uint8_t* out) {
  put_le32(out, unit.size);
  store_record(to_record(unit.pts, with_extension), out + 4);
}

AudioUnit decode_audio_unit(const std::uint8_t* in) {
  AudioUnit u;
  u.size = get_le32(in);
  u.pts = from_record(load_record(in + 4));
  return u;
}

double frame_rate_of_code(unsigned code) {
  static const double rates[9] = {0, 24000.0 / 1001, 24, 25, 30000.0 / 1001, 30,
                                  50, 60000.0 / 1001, 60};
  return code >= 1 && code <= 8 ? rates[code] : 0.0;
}

unsigned mpeg_audio_bitrate_kbps(unsigned id, unsigned layer, unsigned bitrate_index) {
  static const unsigned mpeg1[3][15] = {
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
  static const unsigned lsf[2][15] = {
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
  if (layer < 1 || layer > 3 || bitrate_index > 14) return 0;
  if (id == 1) return mpeg1[layer - 1][bitrate_index];
  return lsf[layer == 1 ? 0 : 1][bitrate_index];
}

unsigned mpeg_audio_sample_rate(unsigned id, unsigned sampling_code) {
  static const unsigned rates[3] = {44100, 48000, 32000};
  if (sampling_code > 2) return 0;
  return id == 1 ? rates[sampling_code] : rates[sampling_code] / 2;
}

unsigned mpeg_audio_frame_size(unsigned id, unsigned layer, unsigned bitrate_index,
                               unsigned sampling_code, unsigned padding) {
  unsigned kbps = mpeg_audio_bitrate_kbps(id, layer, bitrate_index);
  unsigned rate = mpeg_audio_sample_rate(id, sampling_code);
  if (kbps == 0 || rate == 0) return 0;
  if (layer == 1) return (12 * kbps * 1000 / rate + padding) * 4;
  unsigned factor = (layer == 3 && id == 0) ? 72 : 144;
  return factor * kbps * 1000 / rate + padding;
}

unsigned ac3_bitrate_kbps(unsigned frmsizecod) {
  static const unsigned rates[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                     192, 224, 256, 320, 384, 448, 512, 576, 640};
  return frmsizecod < 38 ? rates[frmsizecod / 2] : 0;
}

unsigned ac3_frame_size(unsigned fscod, unsigned frmsizecod) {
  unsigned kbps = ac3_bitrate_kbps(frmsizecod);
  if (kbps == 0) return 0;
  switch (fscod) {
    case 0: return kbps * 4;                                   // 48 kHz
    case 1: return 2 * (kbps * 1536 * 1000 / 44100 / 16 + (frmsizecod & 1));  // 44.1 kHz
    case 2: return kbps * 6;                                   // 32 kHz
    default: return 0;
  }
}

}  // namespace corvexa::mpeg::mux
