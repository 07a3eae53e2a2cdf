// The audio encoder's input side: pulls 16-bit PCM from the frame source,
// per video frame or per sample range, and cuts it into coding frames.
#pragma once

#include <cstdint>
#include <vector>

namespace corvexa::mpeg {
struct EncoderContext;
}

namespace corvexa::mpeg::audio {

class AudioInput {
 public:
  // Largest delivery accepted from one callback.
  static constexpr int kDeliveryLimit = 192000;

  // `input_channels`: 2 for a stereo source, 1 for mono.
  AudioInput(EncoderContext& ctx, int input_channels);

  // Fills pcm[0..coded_channels)[0..samples) with the next `samples` sample
  // frames (a stereo source is split, or averaged for one coded channel; a
  // mono source is copied into both). Missing samples at the end are zero.
  // Returns the sample frames actually obtained: 0 = no more input.
  int fetch(short* const pcm[2], int samples, int coded_channels);
  // A callback error or a refused delivery: the stage fails.
  bool failed() const { return failed_; }

 private:
  bool next_delivery(int wanted_samples);
  void finish(bool early);

  EncoderContext& ctx_;
  int input_channels_;
  bool per_sample_;
  std::vector<std::uint8_t> delivery_;
  int delivery_size_ = 0;
  int delivery_pos_ = 0;
  std::vector<std::uint8_t> frame_bytes_;
  bool ended_ = false;
  bool failed_ = false;
  int next_ = 0;        // next video frame or sample to ask for
  int first_ = 0, last_ = -1;
  int delivered_ = 0;   // frames (or samples) delivered so far
  int last_percent_ = 0;
};

}  // namespace corvexa::mpeg::audio
