// CODECLIST and MEDIATOAVI: the compressors an AVI can be written with, and
// the job that converts any media file into an AVI file with them.
#pragma once

#include <cstdint>

#include "corvexa/object.h"
#include "corvexa/preview.h"
#include "corvexa/sinks.h"

namespace corvexa {

// Names handed out by NameAt (both kinds) are UTF-16, zero-terminated,
// allocated with malloc: the caller frees them with free().
class CodecList : public EngineObject {
 public:
  // 4, 5: append the names of the audio / video compressors; false when
  // there are none.
  virtual bool EnumerateAudioCompressors() = 0;
  virtual bool EnumerateVideoCompressors() = 0;
  virtual std::int32_t Count() = 0;  // 6
  // 7: false, `name` untouched, when index is outside the list.
  virtual bool NameAt(std::int32_t index, char16_t** name) = 0;

 protected:
  ~CodecList() = default;
};

// The compressor presets of MediaToAvi::SetCompressorPreset.
inline constexpr std::int32_t kPresetAvi = 1;
inline constexpr std::int32_t kPresetDivx = 2;

// SetDialogParent(headless_dialog_parent()): never show the codec dialog, run
// with the preset's choices (and any the caller made through slots 20 and
// 21). Without a Qt application on the calling thread the job is headless
// anyway.
inline void* headless_dialog_parent() { return reinterpret_cast<void*>(std::uintptr_t{1}); }

class MediaToAvi : public EngineObject {
 public:
  // 4: false when the file is not media the job can read (or the path is
  // empty or longer than kMaxPath - 1).
  virtual bool SetSourceFile(const char* path) = 0;
  virtual void SetOutputFile(const char* path) = 0;          // 5
  // 6, 7: the range to convert, whole seconds; kept until changed.
  virtual void SetStartTime(std::int32_t seconds) = 0;
  virtual void SetStopTime(std::int32_t seconds) = 0;
  virtual std::int32_t GetDuration() = 0;                    // 8: seconds
  // 9: also shows each converted picture there; null for none.
  virtual void SetPreviewWindow(PreviewSurface* surface) = 0;
  // 10: the QWidget owning the codec dialog, null, or headless_dialog_parent().
  virtual void SetDialogParent(void* parent) = 0;
  virtual bool SetSink(MediaToAviSink* sink) = 0;            // 11: null refused
  virtual bool ClearSink() = 0;                              // 12
  // 13: returns once the conversion runs on the worker or the start failed.
  virtual void Start() = 0;
  // 14: ends the run; the unfinished file is removed, the sink not called.
  virtual void Stop() = 0;
  // 15: kPresetAvi or kPresetDivx; false for DivX without a DivX compressor.
  virtual bool SetCompressorPreset(std::int32_t preset) = 0;
  virtual std::int32_t AudioCompressorCount() = 0;           // 16
  virtual bool AudioCompressorName(std::int32_t index, char16_t** name) = 0;  // 17
  virtual std::int32_t VideoCompressorCount() = 0;           // 18
  virtual bool VideoCompressorName(std::int32_t index, char16_t** name) = 0;  // 19
  // 20, 21: binds the compressor listed at `index`; an index outside the
  // list leaves none (the stream is stored uncompressed) and answers false.
  virtual bool SelectAudioCompressor(std::int32_t index) = 0;
  virtual bool SelectVideoCompressor(std::int32_t index) = 0;
  virtual bool VideoCompressorHasConfig() = 0;               // 22
  virtual bool ConfigureVideoCompressor(void* owner) = 0;    // 23
  virtual void ShowMuxProperties(void* owner) = 0;           // 24

 protected:
  ~MediaToAvi() = default;
};

}  // namespace corvexa
