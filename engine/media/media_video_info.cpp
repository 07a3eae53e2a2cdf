// MEDIAVIDEOINFO: the size, depth and frame count of a media file's video,
// measured through the media layer.
#include <cstring>
#include <string>

#include "core/factory.h"
#include "core/kinds.h"
#include "core/object_impl.h"
#include "corvexa/media_video_info.h"
#include "platform/media_file.h"

namespace corvexa::core {

namespace {

class MediaVideoInfoObject final : public EngineObjectImpl<MediaVideoInfo, MediaVideoInfoObject> {
 public:
  bool Init() override {
    path_.clear();
    time_per_frame_ = 0;
    frame_count_ = width_ = height_ = bit_count_ = 0;
    return true;
  }

  bool Open(const char* path) override {
    // A path longer than the engine takes is refused, not cut short into
    // the name of some other file.
    if (path == nullptr || strnlen(path, kMaxPath) >= kMaxPath) return false;
    path_ = path;
    std::unique_ptr<platform::MediaFile> file = platform::MediaFile::open(path_);
    if (!file) return false;
    const platform::MediaStreamInfo* video = file->primary_video();
    if (video == nullptr || !video->decodable) return false;
    time_per_frame_ = video->time_per_frame;
    width_ = video->width;
    height_ = video->height;
    bit_count_ = 32;  // the media layer's pictures
    // Without a frame rate there is no frame count to divide out.
    if (time_per_frame_ <= 0 || file->duration() <= 0) return false;
    // Rounded: a duration counted a few milliseconds short of the last
    // frame's end still holds that frame.
    frame_count_ = static_cast<std::int32_t>((file->duration() + time_per_frame_ / 2) / time_per_frame_);
    return true;
  }

  std::int32_t FrameCount() override { return frame_count_; }
  std::int32_t Width() override { return width_; }
  std::int32_t Height() override { return height_; }
  std::int32_t BitCount() override { return bit_count_; }

 private:
  std::string path_;
  std::int64_t time_per_frame_ = 0;
  std::int32_t frame_count_ = 0, width_ = 0, height_ = 0, bit_count_ = 0;
};

}  // namespace

EngineObject* construct_mediavideoinfo() { return construct_kind<MediaVideoInfoObject>(); }

}  // namespace corvexa::core
