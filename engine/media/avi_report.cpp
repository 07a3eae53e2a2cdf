// The description of an AVI file, from its stream headers and formats as our
// AVI services read them.
#include <cstring>

#include "corvexa/avi_types.h"
#include "media/info_report.h"
#include "platform/avi_services.h"

namespace corvexa::media {

namespace {

// The handler code's four characters in file order; a byte that is no
// printable character (rawvideo leaves the code 0) is shown as a space
// rather than cutting the line short.
std::string handler_text(std::uint32_t handler) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((handler >> (8 * i)) & 0xFF);
    text += (c >= 0x20 && c < 0x7F) ? c : ' ';
  }
  return text;
}

// The stream's frame rectangle; files that leave it empty have the picture's
// size in their format instead.
void frame_size(const platform::AviStream& stream, std::int32_t& width, std::int32_t& height) {
  const AviStreamInfo& info = stream.info();
  width = info.frame_right;
  height = info.frame_bottom;
  if (info.frame_right > info.frame_left && info.frame_bottom > info.frame_top) return;
  const std::vector<std::uint8_t>& format = stream.format();
  if (format.size() < sizeof(BitmapInfoHeader)) return;
  BitmapInfoHeader header;
  std::memcpy(&header, format.data(), sizeof header);
  width = header.width;
  height = header.height < 0 ? -header.height : header.height;
}

void describe_video(platform::AviFile& file, InfoReport& report) {
  std::string& text = report.text;
  std::shared_ptr<platform::AviStream> stream = file.get_stream(kStreamTypeVideo, 0);
  if (!stream) {
    text += "\tNo Video\r\n\r\n";
    return;
  }
  report.has_video = true;
  const AviStreamInfo& info = stream->info();
  frame_size(*stream, report.width, report.height);
  report.frame_count = static_cast<std::int32_t>(info.length);
  append_format(text, "\tStream Name:%s\r\n", std::string(info.name, strnlen(info.name, sizeof info.name)).c_str());
  append_format(text, "\tfccHandler:%s\r\n", handler_text(info.handler).c_str());
  append_format(text, "\tWidth:%d\r\n\tHeight:%d\r\n", report.width, report.height);
  // A header with rate or scale 0 has no frame rate and no running time:
  // those lines are left out, the others stand.
  if (info.scale != 0) {
    const double fps = static_cast<double>(info.rate) / info.scale;
    append_format(text, "\tFrame Rate:%.3f\r\n", fps);
    if (fps > 0) report.time_per_frame = static_cast<std::int64_t>(10000000.0 / fps + 0.5);
  }
  append_format(text, "\tTotal Frame:%d\r\n", static_cast<int>(info.length));
  if (info.rate != 0 && info.scale != 0) {
    const double fps = static_cast<double>(info.rate) / info.scale;
    const auto seconds = static_cast<std::int64_t>(info.length / fps);
    report.seconds = static_cast<std::int32_t>(seconds);
    append_format(text, "\tTotal Time:%s\r\n", clock_text(seconds).c_str());
  }
  if (std::unique_ptr<platform::AviFrameDecoder> decoder = platform::AviFrameDecoder::open(stream)) {
    if (const std::uint8_t* bitmap = decoder->get_frame(info.start)) {
      BitmapInfoHeader header;
      std::memcpy(&header, bitmap, sizeof header);
      report.video_decodable = true;
      append_format(text, "\tColor Depth:%d\r\n", header.bit_count);
    }
  }
  text += "\r\n";
}

void describe_audio(platform::AviFile& file, InfoReport& report) {
  std::string& text = report.text;
  std::shared_ptr<platform::AviStream> stream = file.get_stream(kStreamTypeAudio, 0);
  if (!stream) {
    text += "\tNo Audio\r\n";
    return;
  }
  const std::vector<std::uint8_t>& format = stream->format();
  if (format.size() < 16) {
    text += "\tCannot get audio info\r\n";
    return;
  }
  report.has_audio = true;
  WaveFormat wave{};
  std::memcpy(&wave, format.data(), std::min(format.size(), sizeof wave));
  if (wave.format_tag == kWaveFormatPcm)
    text += "\tAudio Format:PCM\r\n";
  else if (wave.format_tag == kWaveFormatMpegLayer3)
    text += "\tAudio Format:Mpeg Layer 3\r\n";
  else
    append_format(text, "\tAudio Format Handle:%d\r\n", wave.format_tag);
  append_format(text, "\tSample Rate:%.3fKHz\r\n", wave.samples_per_sec * 0.001);
  append_format(text, "\tBit Rate:%.3fKb/s\r\n", wave.avg_bytes_per_sec * 0.001);
  append_format(text, "\tChannel:%d\r\n", wave.channels);
  text += "\r\n";
}

}  // namespace

std::optional<InfoReport> describe_avi(const std::string& path) {
  std::shared_ptr<platform::AviFile> file = platform::AviFile::open(path);
  if (!file) return std::nullopt;
  InfoReport report;
  report.from_avi = true;
  report.is_media = true;
  report.can_seek = true;
  report.text = "File Type:AVI\r\n\r\nVideo Info:\r\n";
  describe_video(*file, report);
  report.text += "Audio Info:\r\n";
  describe_audio(*file, report);
  return report;
}

}  // namespace corvexa::media
