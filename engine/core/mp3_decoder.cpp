// MYMPGLIB on libmpg123 in feed mode.
#include <mpg123.h>

#include <cstring>
#include <mutex>

#include "core/factory.h"
#include "core/kinds.h"
#include "core/object_impl.h"
#include "corvexa/mp3_decoder.h"

namespace corvexa::core {

namespace {

// The one decoder of the process.
struct SharedDecoder {
  std::mutex lock;
  mpg123_handle* handle = nullptr;

  ~SharedDecoder() { close(); }

  void close() {
    if (handle != nullptr) {
      mpg123_delete(handle);
      handle = nullptr;
    }
  }

  bool reset() {
    close();
    int error = MPG123_OK;
    handle = mpg123_new(nullptr, &error);
    if (handle == nullptr) return false;
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Signed 16-bit at whatever rate and channel count the stream has.
    mpg123_format_none(handle);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
      mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(handle) != MPG123_OK) {
      close();
      return false;
    }
    return true;
  }
};

SharedDecoder& shared_decoder() {
  static SharedDecoder decoder;
  return decoder;
}

class Mp3DecoderObject final : public EngineObjectImpl<Mp3Decoder, Mp3DecoderObject> {
 public:
  bool Init() override { return true; }

  bool InitDecoder() override {
    SharedDecoder& d = shared_decoder();
    std::lock_guard<std::mutex> hold(d.lock);
    return d.reset();
  }

  std::int32_t Decode(const std::uint8_t* input, std::int32_t input_bytes, std::uint8_t* output,
                      std::int32_t output_size, std::int32_t* produced) override {
    if (produced) *produced = 0;
    SharedDecoder& d = shared_decoder();
    std::lock_guard<std::mutex> hold(d.lock);
    if (d.handle == nullptr || input_bytes < 0 || output_size < 0) return kMp3Error;
    if (input != nullptr && input_bytes > 0 &&
        mpg123_feed(d.handle, input, static_cast<size_t>(input_bytes)) != MPG123_OK)
      return kMp3Error;
    if (output == nullptr || output_size == 0) return kMp3Ok;
    off_t frame_number = 0;
    unsigned char* frame = nullptr;
    size_t bytes = 0;
    int result = mpg123_decode_frame(d.handle, &frame_number, &frame, &bytes);
    if (result == MPG123_NEW_FORMAT) return kMp3Ok;  // the format is known now: call again
    if (result == MPG123_NEED_MORE || result == MPG123_DONE) return kMp3NeedMore;
    if (result != MPG123_OK) return kMp3Error;
    // A frame larger than the caller's area keeps what fits.
    size_t copy = bytes < static_cast<size_t>(output_size) ? bytes : static_cast<size_t>(output_size);
    if (copy > 0) std::memcpy(output, frame, copy);
    if (produced) *produced = static_cast<std::int32_t>(copy);
    return kMp3Ok;
  }

  void ExitDecoder() override {
    SharedDecoder& d = shared_decoder();
    std::lock_guard<std::mutex> hold(d.lock);
    d.close();
  }
};

}  // namespace

EngineObject* construct_mympglib() { return construct_kind<Mp3DecoderObject>(); }

}  // namespace corvexa::core
