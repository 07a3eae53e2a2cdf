// The dialogs of the media-to-AVI job, built with Qt Widgets in a library of
// their own. The job reaches them only through these functions and gives
// them itself as a CodecDialogHost; no Qt type crosses this header.
#pragma once

#include <string>

#include "media/codec_choices.h"
#include "platform/compressor_settings.h"

namespace corvexa::media {

class CodecDialogHost {
 public:
  // The lists as the dialog opens.
  virtual CodecDialogState dialog_setup() = 0;
  // Slots 20, 21 and 22 of the job.
  virtual bool select_audio(int data) = 0;
  virtual bool select_video(int data) = 0;
  virtual bool video_has_config() = 0;
  // Slots 23 and 24, owned by the dialog.
  virtual bool configure_video(void* owner) = 0;
  virtual void show_mux_properties(void* owner) = 0;

 protected:
  ~CodecDialogHost() = default;
};

// A Qt application runs and this is its thread: windows may be shown.
bool dialogs_available();

// "Select Compression Codecs", modal, owned by `parent` (a QWidget or null).
// False when the user cancelled.
bool run_codec_dialog(CodecDialogHost& host, void* parent);

// The settings of the video compressor `name`; false when cancelled.
bool edit_video_settings(const std::string& name, bool has_bit_rate,
                         platform::VideoCompressorSettings& settings, void* owner);
// The AVI writer's options; false when cancelled.
bool edit_writer_options(const std::string& title, platform::AviWriterOptions& options,
                         void* owner);

}  // namespace corvexa::media
