#include "media/info_frames.h"

#include "core/video_frame_reader.h"
#include "platform/media_video.h"

namespace corvexa::media {

namespace {

// A frame holder that may be filled again and again.
class ReusableHolder final : public FrameHolder {
 public:
  bool Allocate(std::int32_t size) override {
    if (size < 0) return false;
    buffer_.assign(static_cast<std::size_t>(size), 0);
    return true;
  }
  std::uint8_t* Data() override { return buffer_.data(); }
  std::int32_t Size() override { return static_cast<std::int32_t>(buffer_.size()); }

 private:
  std::vector<std::uint8_t> buffer_;
};

}  // namespace

InfoFrames::InfoFrames() = default;
InfoFrames::~InfoFrames() = default;

void InfoFrames::open(const std::string& path, const InfoReport& report) {
  close();
  path_ = path;
  report_ = report;
  open_ = report.is_media && report.video_decodable;
}

void InfoFrames::close() {
  open_ = false;
  avi_.reset();
  media_.reset();
}

void InfoFrames::show(std::int32_t frame) {
  if (!open_ || surface_ == nullptr || !surface_->IsVisible() || frame < 0) return;
  if (report_.from_avi) {
    if (!avi_) {
      avi_ = std::make_unique<core::VideoFrameReader>();
      if (!avi_->Open(path_)) {
        open_ = false;
        return;
      }
    }
    AviStreamInfo info{};
    if (!avi_->ReadHeader(info)) return;
    ReusableHolder holder;
    std::int32_t line_bytes = 0;
    avi_->SetPreview(surface_);  // the reader shows what it reads
    avi_->ReadFrame(holder, line_bytes, info.start + static_cast<std::int64_t>(frame));
    avi_->SetPreview(nullptr);
    return;
  }
  if (!media_) {
    media_ = platform::MediaVideo::open(path_);
    if (!media_) {
      open_ = false;
      return;
    }
  }
  const std::int64_t time = media_->start_time() + frame * report_.time_per_frame;
  if (media_->seek(time) && media_->advance_to(time) && media_->picture() != nullptr)
    surface_->Present(media_->picture(), media_->width(), media_->height());
}

}  // namespace corvexa::media
