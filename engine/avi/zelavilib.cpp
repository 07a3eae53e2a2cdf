// ZELAVILIB: the engine object in front of the AVI reader. Every operation
// catches the reader's errors and reports them as null, false or a code.
#include <cstring>
#include <new>

#include "avi/avi_reader.h"
#include "avi/reader_error.h"
#include "core/factory.h"
#include "core/kinds.h"
#include "core/object_impl.h"
#include "corvexa/zelavilib.h"

namespace corvexa::avi {

namespace {

void clear_source(AviAudioSource* source) {
  if (source->stream != nullptr) source->stream->Destroy(1);
  source->stream = nullptr;
  delete[] source->format;
  source->format = nullptr;
  source->format_size = 0;
  source->start = source->end = 0;
}

class ZelavilibImpl final : public core::EngineObjectImpl<Zelavilib, ZelavilibImpl> {
 public:
  bool Init() override { return true; }

  AviFileApi* Open(const char* path) override {
    if (path == nullptr) return nullptr;
    try {
      return AviReader::open(path);
    } catch (const ReaderError&) {
    } catch (const std::exception&) {
    }
    return nullptr;
  }

  AviAudioSource* OpenStream(AviFileApi* file, std::int32_t mode) override {
    if (file == nullptr) return nullptr;
    auto* source = new (std::nothrow) AviAudioSource{};
    if (source == nullptr) return nullptr;
    file->AddRef();  // the source keeps its file alive until CloseStream
    source->file = file;
    source->mode = mode;
    return source;
  }

  void Close(AviFileApi* file) override {
    if (file != nullptr) file->Release();
  }

  std::int32_t Read(AviAudioSource* source, std::int32_t start, std::int32_t count, void* buffer,
                    std::int32_t buffer_size, std::int32_t* bytes, std::int32_t* samples) override {
    if (source == nullptr || source->stream == nullptr) return kAviErrFileRead;
    std::int32_t dummy_bytes = 0, dummy_samples = 0;
    if (bytes == nullptr) bytes = &dummy_bytes;
    if (samples == nullptr) samples = &dummy_samples;
    AviStreamApi* stream = source->stream;
    std::int32_t result = stream->Read(start, count, buffer, buffer_size, bytes, samples);
    if (result != kAviErrFileRead) return result;
    // Some chunk could not be read as a whole: take what each piece gives.
    *bytes = *samples = 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (count > 0) {
      std::int32_t piece_bytes = 0, piece_samples = 0;
      if (stream->Read(start, -1, nullptr, 0, &piece_bytes, &piece_samples) != 0 || piece_samples <= 0) break;
      piece_samples = std::min(piece_samples, count);
      result = stream->Read(start, piece_samples, out, buffer_size, &piece_bytes, &piece_samples);
      if (result != 0) return result;
      if (piece_samples <= 0) break;
      *bytes += piece_bytes;
      *samples += piece_samples;
      start += piece_samples;
      out += piece_bytes;
      buffer_size -= piece_bytes;
      count -= piece_samples;
    }
    return 0;
  }

  bool IsOK(AviAudioSource* source) override {
    if (source == nullptr || source->file == nullptr) return false;
    clear_source(source);
    AviStreamApi* stream = source->file->GetStream(fourcc("auds"), 0);
    if (stream == nullptr) return false;
    source->stream = stream;
    std::int32_t size = 0;
    if (stream->Info(&source->info, sizeof source->info) != 0 || stream->FormatSize(0, &size) != 0 ||
        size <= 0) {
      clear_source(source);
      return false;
    }
    source->format = new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)];
    if (source->format == nullptr || stream->ReadFormat(0, source->format, &size) != 0) {
      clear_source(source);
      return false;
    }
    source->format_size = size;
    source->start = stream->Start();
    source->end = stream->End();
    return true;
  }

  void CloseStream(AviAudioSource* source) override {
    if (source == nullptr) return;
    clear_source(source);
    if (source->file != nullptr) source->file->Release();
    delete source;
  }
};

}  // namespace

}  // namespace corvexa::avi

namespace corvexa::core {
EngineObject* construct_zelavilib() { return construct_kind<corvexa::avi::ZelavilibImpl>(); }
}  // namespace corvexa::core
