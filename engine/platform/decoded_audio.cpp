#include "platform/decoded_audio.h"

#include <algorithm>
#include <cstring>

#include "platform/ffmpeg_handles.h"
#include "platform/media_file.h"

namespace corvexa::platform {

struct DecodedAudio::Impl {
  FormatHandle format;
  CodecHandle codec;
  SwrHandle resampler;
  PacketHandle packet;
  FrameHandle frame;
  int index = -1;
  bool draining = false;
  bool flushed = false;
};

int decoded_output_rate(int source_rate) {
  return source_rate > 0 && source_rate % 11025 == 0 ? 44100 : 48000;
}

DecodedAudio::~DecodedAudio() = default;

std::unique_ptr<DecodedAudio> DecodedAudio::open(const AviStream& stream, int out_rate) {
  return open_stream(stream.file()->path(), "avi", stream.ordinal(), out_rate);
}

std::unique_ptr<DecodedAudio> DecodedAudio::open_file(const std::string& path, int out_rate) {
  std::unique_ptr<MediaFile> file = MediaFile::open(path);
  const MediaStreamInfo* audio = file ? file->primary_audio() : nullptr;
  if (audio == nullptr) return nullptr;
  if (out_rate <= 0) out_rate = decoded_output_rate(audio->sample_rate);
  return open_stream(path, nullptr, audio->index, out_rate);
}

std::unique_ptr<DecodedAudio> DecodedAudio::open_stream(const std::string& path,
                                                        const char* format_name, int index,
                                                        int out_rate) {
  std::unique_ptr<DecodedAudio> audio(new DecodedAudio());
  audio->impl_ = std::make_unique<Impl>();
  Impl& m = *audio->impl_;
  m.format = open_media(path.c_str(), format_name);
  if (!m.format || index < 0 || index >= static_cast<int>(m.format->nb_streams)) return nullptr;
  m.index = index;
  for (unsigned i = 0; i < m.format->nb_streams; ++i)
    if (static_cast<int>(i) != m.index) m.format->streams[i]->discard = AVDISCARD_ALL;
  const AVCodecParameters* par = m.format->streams[m.index]->codecpar;
  if (par->codec_type != AVMEDIA_TYPE_AUDIO) return nullptr;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (codec == nullptr) return nullptr;
  m.codec.reset(avcodec_alloc_context3(codec));
  if (!m.codec || avcodec_parameters_to_context(m.codec.get(), par) < 0) return nullptr;
  if (avcodec_open2(m.codec.get(), codec, nullptr) < 0) return nullptr;
  const int in_channels = m.codec->ch_layout.nb_channels;
  if (in_channels <= 0 || m.codec->sample_rate <= 0) return nullptr;
  audio->out_channels_ = in_channels >= 2 ? 2 : 1;
  audio->out_rate_ = out_rate;
  AVChannelLayout out_layout;
  av_channel_layout_default(&out_layout, audio->out_channels_);
  AVChannelLayout in_layout;
  if (m.codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
    av_channel_layout_default(&in_layout, in_channels);
  else
    av_channel_layout_copy(&in_layout, &m.codec->ch_layout);
  SwrContext* swr = nullptr;
  int made = swr_alloc_set_opts2(&swr, &out_layout, AV_SAMPLE_FMT_S16, out_rate, &in_layout,
                                 m.codec->sample_fmt, m.codec->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&in_layout);
  av_channel_layout_uninit(&out_layout);
  if (made < 0 || swr == nullptr) return nullptr;
  m.resampler.reset(swr);
  if (swr_init(swr) < 0) return nullptr;
  m.packet.reset(av_packet_alloc());
  m.frame.reset(av_frame_alloc());
  if (!m.packet || !m.frame) return nullptr;
  return audio;
}

bool DecodedAudio::decode_more() {
  Impl& m = *impl_;
  const int bytes_per_frame = 2 * out_channels_;
  while (true) {
    int got = avcodec_receive_frame(m.codec.get(), m.frame.get());
    if (got == 0) {
      const int max_out = swr_get_out_samples(m.resampler.get(), m.frame->nb_samples);
      if (max_out <= 0) continue;
      std::vector<std::uint8_t> out(static_cast<std::size_t>(max_out) * bytes_per_frame);
      std::uint8_t* planes[1] = {out.data()};
      int n = swr_convert(m.resampler.get(), planes, max_out,
                          const_cast<const std::uint8_t**>(m.frame->extended_data),
                          m.frame->nb_samples);
      if (n < 0) return false;
      out.resize(static_cast<std::size_t>(n) * bytes_per_frame);
      pending_.insert(pending_.end(), out.begin(), out.end());
      return true;
    }
    if (got == AVERROR_EOF) {
      if (m.flushed) return false;
      // What the resampler still holds.
      m.flushed = true;
      const int max_out = swr_get_out_samples(m.resampler.get(), 0);
      if (max_out <= 0) return false;
      std::vector<std::uint8_t> out(static_cast<std::size_t>(max_out) * bytes_per_frame);
      std::uint8_t* planes[1] = {out.data()};
      int n = swr_convert(m.resampler.get(), planes, max_out, nullptr, 0);
      if (n <= 0) return false;
      out.resize(static_cast<std::size_t>(n) * bytes_per_frame);
      pending_.insert(pending_.end(), out.begin(), out.end());
      return true;
    }
    if (got != AVERROR(EAGAIN)) return false;
    if (m.draining) return false;
    av_packet_unref(m.packet.get());
    bool fed = false;
    while (av_read_frame(m.format.get(), m.packet.get()) >= 0) {
      if (m.packet->stream_index == m.index) {
        fed = true;
        break;
      }
      av_packet_unref(m.packet.get());
    }
    if (!fed) {
      m.draining = true;
      avcodec_send_packet(m.codec.get(), nullptr);
      continue;
    }
    // A damaged packet is skipped: the rest of the sound still plays.
    avcodec_send_packet(m.codec.get(), m.packet.get());
  }
}

std::int64_t DecodedAudio::read(std::uint8_t* out, std::int64_t size) {
  std::int64_t done = 0;
  while (done < size) {
    if (pending_offset_ >= pending_.size()) {
      pending_.clear();
      pending_offset_ = 0;
      if (finished_ || !decode_more()) {
        finished_ = true;
        break;
      }
      continue;
    }
    std::int64_t n = std::min<std::int64_t>(size - done,
                                            static_cast<std::int64_t>(pending_.size() - pending_offset_));
    std::memcpy(out + done, pending_.data() + pending_offset_, static_cast<std::size_t>(n));
    pending_offset_ += static_cast<std::size_t>(n);
    done += n;
  }
  return done;
}

bool DecodedAudio::rewind() { return seek(0); }

bool DecodedAudio::seek(std::int64_t time) {
  Impl& m = *impl_;
  const AVRational base = m.format->streams[m.index]->time_base;
  std::int64_t target = av_rescale_q(std::max<std::int64_t>(0, time),
                                     AVRational{1, static_cast<int>(kMediaTicksPerSecond)}, base);
  if (time > 0 && m.format->start_time != AV_NOPTS_VALUE)
    target += av_rescale_q(m.format->start_time, AVRational{1, AV_TIME_BASE}, base);
  if (av_seek_frame(m.format.get(), m.index, target, AVSEEK_FLAG_BACKWARD) < 0 &&
      avformat_seek_file(m.format.get(), m.index, INT64_MIN, target, target, 0) < 0)
    return false;
  avcodec_flush_buffers(m.codec.get());
  swr_init(m.resampler.get());
  m.draining = false;
  m.flushed = false;
  finished_ = false;
  pending_.clear();
  pending_offset_ = 0;
  return true;
}

}  // namespace corvexa::platform
