#include "component_probe.h"

#include <dlfcn.h>

#include <QDebug>

#include "engine_binding.h"
#include "lumaport/lumaport.h"

namespace kavrol {
namespace {

// FFmpeg is looked at, not used: the libraries are opened by their sonames
// and asked only whether named demuxers and decoders exist.
class SharedLibrary {
 public:
  explicit SharedLibrary(const char* soname) : handle_(::dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {}
  ~SharedLibrary() {
    if (handle_ != nullptr) ::dlclose(handle_);
  }
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  bool loaded() const { return handle_ != nullptr; }
  void* symbol(const char* name) const {
    return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
  }

 private:
  void* handle_;
};

using FindByName = const void* (*)(const char*);
using VersionFunction = unsigned (*)();

bool all_found(const SharedLibrary& library, const char* finder,
               std::initializer_list<const char*> names) {
  auto find = reinterpret_cast<FindByName>(library.symbol(finder));
  if (find == nullptr) return false;
  for (const char* name : names) {
    if (find(name) == nullptr) return false;
  }
  return true;
}

// libavcodec 58 (FFmpeg 4.0) has every decoder the conversions use; as a
// version split like a file version: (major << 16 | minor) and micro.
constexpr std::uint32_t kCodecNeededHigh = 58u << 16;

bool codec_version_sufficient(const SharedLibrary& codec) {
  auto version = reinterpret_cast<VersionFunction>(codec.symbol("avcodec_version"));
  if (version == nullptr) return false;
  unsigned v = version();  // major << 16 | minor << 8 | micro
  return version_at_least(((v >> 16) << 16) | ((v >> 8) & 0xFF), v & 0xFF, kCodecNeededHigh, 0);
}

std::uint32_t probe_framework(const SharedLibrary& util, const SharedLibrary& codec,
                              const SharedLibrary& format, const SharedLibrary& scale,
                              const SharedLibrary& resample) {
  const std::vector<ProbeStep> steps = {
      {[&] { return util.loaded(); }, 0, "Couldn't load " KAVROL_AVUTIL_SONAME},
      {[&] { return codec.loaded(); }, 0, "Couldn't load " KAVROL_AVCODEC_SONAME},
      {[&] { return codec_version_sufficient(codec); }, 0x0100, "libavcodec is too old"},
      {[&] { return format.loaded(); }, 0x0200, "Couldn't load " KAVROL_AVFORMAT_SONAME},
      {[&] { return scale.loaded(); }, 0x0300, "Couldn't load " KAVROL_SWSCALE_SONAME},
      {[&] { return resample.loaded(); }, 0x0500, "Couldn't load " KAVROL_SWRESAMPLE_SONAME},
      {[&] { return all_found(format, "av_find_input_format", {"avi", "asf", "mpeg", "mov"}); },
       0x0600, "Couldn't find the AVI, ASF, MPEG and MOV demuxers"},
      {[&] {
         return all_found(codec, "avcodec_find_decoder_by_name",
                          {"mpeg4", "h264", "mpeg2video", "mjpeg", "mp3float", "aac"});
       },
       0x0800, "Couldn't find the MPEG-4, H.264, MPEG-2, MJPEG, MP3 and AAC decoders"},
  };
  return run_version_probe(steps, [](const char* text) { qDebug("%s", text); });
}

bool quicktime_present(const EngineBinding& binding) {
  auto* job = static_cast<lumaport::QuickTimeJob*>(binding.new_quicktime_job());
  if (job == nullptr) return false;
  std::int32_t answer = job->InstalledCheck();
  job->Release();
  return answer != lumaport::kNotInstalled;
}

}  // namespace

std::uint32_t run_version_probe(const std::vector<ProbeStep>& steps,
                                const std::function<void(const char*)>& log) {
  for (const ProbeStep& step : steps) {
    if (!step.check()) {
      if (log) log(step.diagnostic);
      return step.answer_on_failure;
    }
  }
  return 0x0801;
}

ComponentReport probe_components(const EngineBinding& binding) {
  ComponentReport report;
  report.quicktime = quicktime_present(binding);
  SharedLibrary util(KAVROL_AVUTIL_SONAME), codec(KAVROL_AVCODEC_SONAME),
      format(KAVROL_AVFORMAT_SONAME), scale(KAVROL_SWSCALE_SONAME),
      resample(KAVROL_SWRESAMPLE_SONAME);
  report.media_framework =
      framework_answer_present(probe_framework(util, codec, format, scale, resample));
  report.windows_media =
      codec_version_sufficient(codec) &&
      all_found(codec, "avcodec_find_decoder_by_name", {"wmv1", "wmv2", "wmv3", "wmav1", "wmav2"});
  return report;
}

}  // namespace kavrol
