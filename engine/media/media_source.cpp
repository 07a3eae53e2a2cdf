// MYMEDIASOURCE: the frames of any media file in order, through the media
// layer, for the conversion job when our AVI services cannot decode a file.
#include <cstring>
#include <vector>

#include "core/factory.h"
#include "core/kinds.h"
#include "core/object_impl.h"
#include "corvexa/media_source.h"
#include "corvexa/media_video_info.h"
#include "platform/media_video.h"

namespace corvexa::core {

namespace {

class MediaSourceObject final : public EngineObjectImpl<MediaSource, MediaSourceObject> {
 public:
  bool Init() override {
    Close();
    preview_ = nullptr;
    return true;
  }

  void Shutdown() { Close(); }

  bool Open(const char* path) override {
    if (path == nullptr || strnlen(path, kMaxPath) >= kMaxPath) return false;
    Close();
    auto* info = static_cast<MediaVideoInfo*>(make_heap_object(construct_mediavideoinfo));
    if (info == nullptr) return false;
    const bool measured = info->Open(path);
    frame_count_ = info->FrameCount();
    width_ = info->Width();
    height_ = info->Height();
    info->Release();
    if (!measured || frame_count_ <= 0 || width_ <= 0 || height_ <= 0) {
      Close();
      return false;
    }
    video_ = platform::MediaVideo::open(path, -1, width_, height_);
    if (!video_ || video_->time_per_frame() <= 0) {
      Close();
      return false;
    }
    return true;
  }

  void Close() override {
    video_.reset();
    have_picture_ = false;
    position_ = frame_count_ = 0;
    width_ = height_ = 0;
  }

  bool GetFrame(FrameHolder* holder, std::int32_t* line_bytes, std::int64_t frame) override {
    if (!video_ || holder == nullptr || line_bytes == nullptr) return false;
    *line_bytes = width_ * 4;
    const std::int64_t bytes = static_cast<std::int64_t>(width_) * 4 * height_;
    if (bytes > INT32_MAX || !holder->Allocate(static_cast<std::int32_t>(bytes))) return false;
    const bool ok = frame == position_ ? NextFrame(holder->Data()) : CopyFrame(holder->Data());
    if (!ok) return false;
    DrawPreview();
    return true;
  }

  void SetPreviewWindow(PreviewSurface* surface) override { preview_ = surface; }
  std::int64_t Position() override { return position_; }

  void DrawPreview() override {
    if (preview_ != nullptr && have_picture_ && preview_->IsVisible())
      preview_->Present(video_->picture(), width_, height_);
  }

  bool CopyFrame(std::uint8_t* buffer) override {
    if (!have_picture_ || buffer == nullptr) return false;
    std::memcpy(buffer, video_->picture(), static_cast<std::size_t>(width_) * 4 * height_);
    return true;
  }

  // Frame n is the picture on show in the middle of its frame time, so that a
  // stream whose pictures are not evenly spaced still comes out at its frame
  // rate. The last picture stands until the measured frame count is reached
  // (a video a little shorter than its file); after that the stream has ended.
  bool NextFrame(std::uint8_t* buffer) override {
    if (!video_ || position_ >= frame_count_) return false;
    const std::int64_t tpf = video_->time_per_frame();
    const std::int64_t time = video_->start_time() + position_ * tpf + tpf / 2;
    ++position_;
    if (!video_->advance_to(time) || video_->picture() == nullptr) return false;
    have_picture_ = true;
    return CopyFrame(buffer);
  }

  std::int32_t Width() override { return width_; }
  std::int32_t Height() override { return height_; }
  std::int64_t FrameCount() override { return frame_count_; }

 private:
  PreviewSurface* preview_ = nullptr;
  std::unique_ptr<platform::MediaVideo> video_;
  bool have_picture_ = false;
  std::int32_t width_ = 0, height_ = 0;
  std::int64_t position_ = 0;
  std::int64_t frame_count_ = 0;
};

}  // namespace

EngineObject* construct_mymediasource() { return construct_kind<MediaSourceObject>(); }

}  // namespace corvexa::core
