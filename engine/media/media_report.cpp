// The description of any media file, through the media layer: the kind of
// file, the primary video stream as it decodes, the primary audio stream as
// the PCM it decodes to.
#include "media/info_report.h"
#include "platform/media_file.h"

namespace corvexa::media {

namespace {

using platform::MediaContainer;

const char* file_type_line(MediaContainer container) {
  switch (container) {
    case MediaContainer::kMpegSystem: return "File type:Mpeg\r\n\r\n";
    case MediaContainer::kMpegProgram: return "File type:Mpeg2\r\n\r\n";
    case MediaContainer::kMpegAudio: return "File type:Mpeg Audio(Mp3)\r\n\r\n";
    case MediaContainer::kMpegVideo: return "File type:Mpeg Video\r\n\r\n";
    case MediaContainer::kWave: return "File type:Wave\r\n\r\n";
    case MediaContainer::kVideoCd: return "File type:Mpeg VideoCD\r\n\r\n";
    case MediaContainer::kDvdAudio: return "File type:DVD Audio\r\n\r\n";
    case MediaContainer::kMpeg2Audio: return "File type:Mpeg2 Audio\r\n\r\n";
    case MediaContainer::kAc3: return "File type:Dolby ac3\r\n\r\n";
    case MediaContainer::kAsf: return "File type:Asf(WMV)\r\n\r\n";
    default: return "File type:Unknown\r\n\r\n";
  }
}

// Pictures come out of the media layer as 32-bit pictures.
constexpr int kPictureBits = 32;

void describe_video(const platform::MediaFile& file, InfoReport& report) {
  const platform::MediaStreamInfo* video = file.primary_video();
  if (video == nullptr) return;
  std::string& text = report.text;
  if (!video->decodable) {
    text += "\tNo Video\r\n";
    return;
  }
  report.has_video = true;
  report.video_decodable = true;
  report.time_per_frame = video->time_per_frame;
  std::int64_t frames = 0;
  if (video->time_per_frame != 0) {
    frames = file.duration() / video->time_per_frame;
    report.width = video->width;
    report.height = video->height;
  }
  report.frame_count = static_cast<std::int32_t>(frames);
  append_format(text, "\tWidth:%d\r\n", report.width);
  append_format(text, "\tHeight:%d\r\n", report.height);
  if (frames != 0)
    append_format(text, "\tTotalFrame:%lld\r\n", static_cast<long long>(frames));
  else
    text += "\tTotalFrame:Unknown\r\n";
  if (report.seconds != 0)
    append_format(text, "\tTotalTime:%s\r\n", clock_text(report.seconds).c_str());
  else
    text += "\tTotalTime:Unknown\r\n";
  append_format(text, "\tColor Depth:%d\r\n", kPictureBits);
}

void describe_audio(const platform::MediaFile& file, InfoReport& report) {
  const platform::MediaStreamInfo* audio = file.primary_audio();
  if (audio == nullptr) return;
  std::string& text = report.text;
  if (!audio->decodable || audio->sample_rate <= 0 || audio->channels <= 0) {
    text += "\tNo Audio\r\n";
    return;
  }
  report.has_audio = true;
  const double bytes_per_second =
      static_cast<double>(audio->sample_rate) * audio->channels * ((audio->bits_per_sample + 7) / 8);
  append_format(text, "\tSample Rate:%.3fKhz\r\n", audio->sample_rate * 0.001);
  append_format(text, "\tBit Rate:%.3fKb/s\r\n", bytes_per_second * 0.001);
  append_format(text, "\tChannels:%d\r\n", audio->channels);
}

}  // namespace

InfoReport describe_media(const std::string& path) {
  InfoReport report;
  std::unique_ptr<platform::MediaFile> file = platform::MediaFile::open(path);
  if (!file) {
    report.text = path + " is not a media file\r\n";
    return report;
  }
  report.is_media = true;
  report.can_seek = file->can_seek();
  report.seconds = static_cast<std::int32_t>(file->duration() / platform::kMediaTicksPerSecond);
  report.text = file_type_line(file->container());
  report.text += "Video Info:\r\n";
  describe_video(*file, report);
  report.text += "\r\nAudio Info:\r\n";
  describe_audio(*file, report);
  return report;
}

}  // namespace corvexa::media
