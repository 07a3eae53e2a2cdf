// CODECLIST: the AVI compressors' names as an engine object.
#include "core/factory.h"
#include "core/kinds.h"
#include "core/object_impl.h"
#include "corvexa/media_to_avi.h"
#include "media/compressor_names.h"

namespace corvexa::core {

namespace {

class CodecListObject final : public EngineObjectImpl<CodecList, CodecListObject> {
 public:
  bool Init() override { return true; }
  void Shutdown() { names_ = media::CompressorNames(); }

  bool EnumerateAudioCompressors() override {
    return names_.enumerate(media::CompressorKind::kAudio);
  }
  bool EnumerateVideoCompressors() override {
    return names_.enumerate(media::CompressorKind::kVideo);
  }
  std::int32_t Count() override { return names_.count(); }
  bool NameAt(std::int32_t index, char16_t** name) override {
    return names_.copy_out(index, name);
  }

 private:
  media::CompressorNames names_;
};

}  // namespace

EngineObject* construct_codeclist() { return construct_kind<CodecListObject>(); }

}  // namespace corvexa::core
