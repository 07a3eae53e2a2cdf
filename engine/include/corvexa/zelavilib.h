// Public ABI of the engine's own AVI reader, the ZELAVILIB kind.
//
// Typical use (reading the first audio stream of a file):
//
//   auto* lib = static_cast<corvexa::Zelavilib*>(_NEW_ZELAVILIB());
//   corvexa::AviFileApi* file = lib->Open("clip.avi");        // null: not readable
//   corvexa::AviAudioSource* src = file ? lib->OpenStream(file, 1) : nullptr;
//   if (src != nullptr && lib->IsOK(src)) {
//     // src->format / src->format_size: the WAVEFORMATEX of the stream,
//     // src->start .. src->end: the sample numbers (blocks of nBlockAlign bytes).
//     std::int32_t bytes = 0, samples = 0;
//     lib->Read(src, first, wanted, buffer, buffer_size, &bytes, &samples);
//   }
//   lib->CloseStream(src);   // null is ignored
//   if (file) lib->Close(file);
//   lib->Release();
//
// No operation throws. Failures are null, false or a non-zero result code.
#pragma once

#include <cstdint>

#include "corvexa/avi_types.h"
#include "corvexa/object.h"

namespace corvexa {

// Result codes of the stream reads.
inline constexpr std::int32_t kAviErrOk = 0;
inline constexpr std::int32_t kAviErrBufferTooSmall = static_cast<std::int32_t>(0x80044074u);
inline constexpr std::int32_t kAviErrFileRead = static_cast<std::int32_t>(0x8004406Du);

// Four-character code as stored in the file ('a' in the lowest byte).
constexpr std::uint32_t fourcc(const char (&s)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[3])) << 24;
}

// AviStreamInfo, the 140-byte stream information record, is in avi_types.h.

// A stream of an opened file. Sample numbers are frames for video and blocks
// of the format's block alignment for audio. Dispose of it with Destroy(1).
class AviStreamApi {
 public:
  // Slot 0: ends streaming and releases the stream's hold on its file.
  virtual void Destroy(std::int32_t flags) = 0;
  // Slot 1: announces sequential reading from `start` to `end`; a `rate` of
  // 1500 or less asks for real-time behaviour (small buffered refills).
  virtual std::int32_t BeginStreaming(std::int32_t start, std::int32_t end, std::int32_t rate) = 0;
  // Slot 2.
  virtual std::int32_t EndStreaming() = 0;
  // Slot 3: fills `size` bytes of an AviStreamInfo (zero-filled past 140).
  virtual std::int32_t Info(void* buffer, std::int32_t size) = 0;
  // Slot 4.
  virtual bool IsKeyFrame(std::int32_t n) = 0;
  // Slot 5: reads samples from `start`. `count` -1 means "what can be read in
  // one piece". A null buffer only reports the sizes. Returns 0,
  // kAviErrBufferTooSmall (needed size in *bytes / *samples) or kAviErrFileRead.
  virtual std::int32_t Read(std::int32_t start, std::int32_t count, void* buffer,
                            std::int32_t buffer_size, std::int32_t* bytes,
                            std::int32_t* samples) = 0;
  // Slot 6: always 0.
  virtual std::int32_t Start() = 0;
  // Slot 7: the stream's length in samples.
  virtual std::int32_t End() = 0;
  // Slots 8, 9: the key frame before / after n, or -1.
  virtual std::int32_t PrevKeyFrame(std::int32_t n) = 0;
  virtual std::int32_t NextKeyFrame(std::int32_t n) = 0;
  // Slot 10: n when it is a key frame, else the previous one, else 0.
  virtual std::int32_t NearestKeyFrame(std::int32_t n) = 0;
  // Slot 11: *size = length of the format.
  virtual std::int32_t FormatSize(std::int32_t position, std::int32_t* size) = 0;
  // Slot 12: copies at most *size bytes of the format; *size becomes the
  // format length when it fits (a null buffer only sets *size).
  virtual std::int32_t ReadFormat(std::int32_t position, void* buffer, std::int32_t* size) = 0;
  // Slot 13.
  virtual bool IsStreaming() = 0;
  // Slot 14: every chunk is a key frame.
  virtual bool IsKeyFrameOnly() = 0;
  // Slot 15: for variable-rate audio: average bit rate, its standard deviation
  // and the largest deviation (seconds) of a chunk from an even spread.
  virtual bool GetVariableBitrateInfo(double* average, double* deviation, double* jitter) = 0;

 protected:
  ~AviStreamApi() = default;
};

// An opened AVI file, reference counted (starts at 1).
class AviFileApi {
 public:
  virtual void AddRef() = 0;
  // The last release closes the file.
  virtual void Release() = 0;
  // The index-th stream whose type is `type` (fourcc("vids"), fourcc("auds")...).
  virtual AviStreamApi* GetStream(std::uint32_t type, std::int32_t index) = 0;
  virtual void EnableFastIO(bool on) = 0;
  virtual bool IsOptimizedForRealtime() = 0;
  virtual bool IsStreaming() = 0;
  // True when the index was rebuilt by scanning the movie data.
  virtual bool IsIndexFabricated() = 0;
  // Appends the next segment of a segmented recording; false when refused.
  virtual bool AppendFile(const char* path) = 0;
  // The "segm" hint from its second byte on; false without one.
  virtual bool GetSegmentHint(char* text, std::int32_t size) = 0;

 protected:
  ~AviFileApi() = default;
};

// What OpenStream hands out. The fields are filled by IsOK and belong to the
// engine; read them, never free or change them.
struct AviAudioSource {
  AviFileApi* file;
  AviStreamApi* stream;
  std::int32_t mode;
  AviStreamInfo info;
  std::uint8_t* format;  // WAVEFORMATEX and its extra bytes
  std::int32_t format_size;
  std::int32_t start;
  std::int32_t end;
};

class Zelavilib : public EngineObject {
 public:
  // Slot 4: opens and parses a file; null when it cannot be read as AVI.
  virtual AviFileApi* Open(const char* path) = 0;
  // Slot 5: an audio source on the file (the job passes mode 1).
  virtual AviAudioSource* OpenStream(AviFileApi* file, std::int32_t mode) = 0;
  // Slot 6: releases the file (after its sources are closed).
  virtual void Close(AviFileApi* file) = 0;
  // Slot 7: reads `count` samples from `start` into the buffer; 0 on success.
  // Falls back to piecewise reads when the file cannot deliver them at once.
  virtual std::int32_t Read(AviAudioSource* source, std::int32_t start, std::int32_t count,
                            void* buffer, std::int32_t buffer_size, std::int32_t* bytes,
                            std::int32_t* samples) = 0;
  // Slot 8: finds the first audio stream and fills the source; true when readable.
  virtual bool IsOK(AviAudioSource* source) = 0;
  // Slot 9: destroys the source (null is ignored).
  virtual void CloseStream(AviAudioSource* source) = 0;

 protected:
  ~Zelavilib() = default;
};

}  // namespace corvexa
