#include "platform/media_file.h"

#include <cstdio>
#include <cstring>

#include "platform/ffmpeg_handles.h"

namespace corvexa::platform {

namespace {

std::int64_t to_ticks(std::int64_t value, AVRational time_base) {
  if (value == AV_NOPTS_VALUE || value < 0) return 0;
  return av_rescale_q(value, time_base, AVRational{1, static_cast<int>(kMediaTicksPerSecond)});
}

// The first bytes of the file, for what the demuxer's name does not tell.
std::vector<std::uint8_t> file_head(const std::string& path, std::size_t size) {
  std::vector<std::uint8_t> head(size);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return {};
  head.resize(std::fread(head.data(), 1, size, f));
  std::fclose(f);
  return head;
}

// An MPEG-2 pack header has '01' after its start code, an MPEG-1 one '0010'.
MediaContainer mpeg_stream_kind(const std::string& path) {
  const std::vector<std::uint8_t> head = file_head(path, 65536);
  if (head.size() >= 12 && std::memcmp(head.data(), "RIFF", 4) == 0 &&
      std::memcmp(head.data() + 8, "CDXA", 4) == 0)
    return MediaContainer::kVideoCd;
  for (std::size_t i = 0; i + 4 < head.size(); ++i) {
    if (head[i] == 0 && head[i + 1] == 0 && head[i + 2] == 1 && head[i + 3] == 0xBA)
      return (head[i + 4] & 0xC0) == 0x40 ? MediaContainer::kMpegProgram
                                           : MediaContainer::kMpegSystem;
  }
  return MediaContainer::kMpegSystem;
}

MediaContainer container_of(const AVFormatContext* context, const std::string& path,
                            const std::vector<MediaStreamInfo>& streams) {
  const std::string name = context->iformat->name;
  if (name == "mpeg") return mpeg_stream_kind(path);
  if (name == "mp3") {
    // Layer I, II and III alike; the half rates are MPEG-2's extension.
    for (const MediaStreamInfo& s : streams)
      if (s.type == MediaStreamType::kAudio && s.sample_rate > 0 && s.sample_rate < 32000)
        return MediaContainer::kMpeg2Audio;
    return MediaContainer::kMpegAudio;
  }
  if (name == "mpegvideo") return MediaContainer::kMpegVideo;
  if (name == "wav") return MediaContainer::kWave;
  if (name == "ac3") return MediaContainer::kAc3;
  if (name == "asf" || name == "asf_o") return MediaContainer::kAsf;
  if (name == "avi") return MediaContainer::kAvi;
  if (streams.size() == 1 && streams[0].codec == "pcm_dvd") return MediaContainer::kDvdAudio;
  return MediaContainer::kOther;
}

MediaStreamInfo describe_stream(const AVStream* st) {
  MediaStreamInfo info;
  info.index = st->index;
  const AVCodecParameters* par = st->codecpar;
  info.codec = avcodec_get_name(par->codec_id);
  info.decodable = avcodec_find_decoder(par->codec_id) != nullptr;
  info.duration = to_ticks(st->duration, st->time_base);
  if (par->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
    info.type = MediaStreamType::kVideo;
    info.width = par->width;
    info.height = par->height;
    AVRational fps = st->avg_frame_rate;
    if (fps.num <= 0 || fps.den <= 0) fps = st->r_frame_rate;
    if (fps.num > 0 && fps.den > 0) {
      info.rate = fps.num;
      info.scale = fps.den;
      info.time_per_frame = av_rescale(kMediaTicksPerSecond, fps.den, fps.num);
    }
    info.frame_count = st->nb_frames > 0 ? st->nb_frames : 0;
  } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
    info.type = MediaStreamType::kAudio;
    info.sample_rate = par->sample_rate;
    info.channels = par->ch_layout.nb_channels;
    // PCM keeps its own sample size; what is decoded comes out as 16 bits.
    const int pcm_bits = info.codec.rfind("pcm_", 0) == 0 ? av_get_bits_per_sample(par->codec_id) : 0;
    info.bits_per_sample = pcm_bits > 0 ? pcm_bits : 16;
  }
  return info;
}

}  // namespace

MediaFile::~MediaFile() = default;

const MediaStreamInfo* MediaFile::find(int index) const {
  for (const MediaStreamInfo& s : streams_)
    if (s.index == index) return &s;
  return nullptr;
}

std::unique_ptr<MediaFile> MediaFile::open(const std::string& path) {
  FormatHandle context = open_media(path.c_str(), nullptr);
  if (!context) return nullptr;
  // FFmpeg shows any text file as a picture of its characters: not media.
  if (std::strcmp(context->iformat->name, "tty") == 0) return nullptr;

  std::unique_ptr<MediaFile> file(new MediaFile());
  file->path_ = path;
  bool any = false;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    file->streams_.push_back(describe_stream(context->streams[i]));
    any = any || file->streams_.back().type != MediaStreamType::kOther;
  }
  if (!any) return nullptr;
  file->container_ = container_of(context.get(), path, file->streams_);
  auto best = [&](AVMediaType type, MediaStreamType ours) {
    int index = av_find_best_stream(context.get(), type, -1, -1, nullptr, 0);
    const MediaStreamInfo* s = index >= 0 ? file->find(index) : nullptr;
    if (s != nullptr && s->type == ours) return index;
    // An attached picture is no video: the next video stream, if any.
    for (const MediaStreamInfo& other : file->streams_)
      if (other.type == ours) return other.index;
    return -1;
  };
  file->primary_video_ = best(AVMEDIA_TYPE_VIDEO, MediaStreamType::kVideo);
  file->primary_audio_ = best(AVMEDIA_TYPE_AUDIO, MediaStreamType::kAudio);

  if (context->duration != AV_NOPTS_VALUE && context->duration > 0) {
    file->duration_ = to_ticks(context->duration, AVRational{1, AV_TIME_BASE});
  } else {
    for (const MediaStreamInfo& s : file->streams_)
      file->duration_ = std::max(file->duration_, s.duration);
  }
  file->can_seek_ = context->pb != nullptr && (context->pb->seekable & AVIO_SEEKABLE_NORMAL);
  return file;
}

}  // namespace corvexa::platform
