#include "platform/avi_file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/audio_compressor.h"
#include "platform/ffmpeg_handles.h"
#include "platform/video_compressor.h"

namespace corvexa::platform {

namespace {

struct OutputFree {
  void operator()(AVFormatContext* c) const {
    if (c == nullptr) return;
    if (c->pb != nullptr) avio_closep(&c->pb);
    avformat_free_context(c);
  }
};

std::string ffmpeg_error(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = "";
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

struct AviFileWriter::Impl {
  AviWriterOptions options;
  std::unique_ptr<AVFormatContext, OutputFree> format;
  std::unique_ptr<VideoCompressor> video;
  std::unique_ptr<AudioCompressor> audio;
  AVStream* video_stream = nullptr;
  AVStream* audio_stream = nullptr;
  bool header_written = false;
  bool failed = false;

  bool global_header() const {
    return (format->oformat->flags & AVFMT_GLOBALHEADER) != 0;
  }
  AVStream* add_stream(AVCodecContext* codec, std::string* error) {
    AVStream* st = avformat_new_stream(format.get(), nullptr);
    if (st == nullptr || avcodec_parameters_from_context(st->codecpar, codec) < 0) {
      *error = "out of memory";
      return nullptr;
    }
    st->time_base = codec->time_base;
    st->avg_frame_rate = codec->framerate;
    return st;
  }
  bool write(AVPacket* packet, AVCodecContext* codec, AVStream* stream) {
    packet->stream_index = stream->index;
    // An AVI has no place for an encoder's lead-in (MP3's starts before 0):
    // counted from 0, or the muxer would shift every stream and pad the
    // video with an empty frame.
    if (codec->initial_padding > 0) {
      if (packet->pts != AV_NOPTS_VALUE) packet->pts += codec->initial_padding;
      if (packet->dts != AV_NOPTS_VALUE) packet->dts += codec->initial_padding;
    }
    av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
    if (av_interleaved_write_frame(format.get(), packet) < 0) failed = true;
    return !failed;
  }
};

AviFileWriter::AviFileWriter() : impl_(new Impl()) {}
AviFileWriter::~AviFileWriter() { abandon(); }

std::unique_ptr<AviFileWriter> AviFileWriter::create(const AviWriterOptions& options) {
  std::unique_ptr<AviFileWriter> w(new AviFileWriter());
  AVFormatContext* format = nullptr;
  if (avformat_alloc_output_context2(&format, nullptr, "avi", nullptr) < 0 || format == nullptr)
    return nullptr;
  w->impl_->format.reset(format);
  w->impl_->options = options;
  format->max_interleave_delta = static_cast<std::int64_t>(options.interleave_ms) * 1000;
  return w;
}

bool AviFileWriter::add_video(const AviVideoTrack& track, std::string* error) {
  Impl& m = *impl_;
  m.video = VideoCompressor::open(track.encoder, track.fourcc, track.width, track.height,
                                  track.rate, track.scale, track.settings, m.global_header(), error);
  if (!m.video) return false;
  m.video_stream = m.add_stream(m.video->context(), error);
  return m.video_stream != nullptr;
}

bool AviFileWriter::add_audio(const AviAudioTrack& track, std::string* error) {
  Impl& m = *impl_;
  m.audio = AudioCompressor::open(track.encoder, track.sample_rate, track.channels,
                                  m.global_header(), error);
  if (!m.audio) return false;
  m.audio_stream = m.add_stream(m.audio->context(), error);
  return m.audio_stream != nullptr;
}

bool AviFileWriter::open_file(const std::string& path, std::string* error) {
  Impl& m = *impl_;
  // Created here, exclusively, so that an existing file is never overwritten.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot create " + path;
    return false;
  }
  ::close(fd);
  int result = avio_open(&m.format->pb, path.c_str(), AVIO_FLAG_WRITE);
  if (result < 0) {
    *error = "cannot write " + path + ": " + ffmpeg_error(result);
    return false;
  }
  AVDictionary* options = nullptr;
  // Our uncompressed pictures are bottom-up, as AVI readers expect them.
  av_dict_set(&options, "flipped_raw_rgb", "1", 0);
  result = avformat_write_header(m.format.get(), &options);
  av_dict_free(&options);
  if (result < 0) {
    *error = "cannot write the AVI header: " + ffmpeg_error(result);
    return false;
  }
  m.header_written = true;
  return true;
}

bool AviFileWriter::write_picture(const std::uint8_t* picture) {
  Impl& m = *impl_;
  if (!m.video || !m.header_written || m.failed) return false;
  return m.video->encode(picture, [&](AVPacket* p) {
    return m.write(p, m.video->context(), m.video_stream);
  });
}

bool AviFileWriter::write_sound(const std::uint8_t* pcm, std::size_t bytes) {
  Impl& m = *impl_;
  if (!m.audio || !m.header_written || m.failed) return false;
  return m.audio->encode(pcm, bytes, [&](AVPacket* p) {
    return m.write(p, m.audio->context(), m.audio_stream);
  });
}

bool AviFileWriter::finish() {
  Impl& m = *impl_;
  if (!m.header_written || m.failed) return false;
  if (m.video && !m.video->encode(nullptr, [&](AVPacket* p) {
        return m.write(p, m.video->context(), m.video_stream);
      }))
    m.failed = true;
  if (m.audio && !m.failed && !m.audio->finish([&](AVPacket* p) {
        return m.write(p, m.audio->context(), m.audio_stream);
      }))
    m.failed = true;
  if (!m.failed && av_write_trailer(m.format.get()) < 0) m.failed = true;
  m.header_written = false;
  if (m.format->pb != nullptr) {
    avio_flush(m.format->pb);
    if (m.format->pb->error < 0) m.failed = true;
    if (avio_closep(&m.format->pb) < 0) m.failed = true;
  }
  return !m.failed;
}

void AviFileWriter::abandon() {
  Impl& m = *impl_;
  m.header_written = false;
  if (m.format && m.format->pb != nullptr) avio_closep(&m.format->pb);
}

}  // namespace corvexa::platform
