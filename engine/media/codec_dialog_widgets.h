// The codec dialog's widgets, for the dialog functions and their tests.
#pragma once

#include <memory>

#include <QDialog>

#include "media/codec_dialog.h"

namespace corvexa::media {

// Control ids, as the dialog's object names ("1000" ...).
inline constexpr int kVideoListId = 1000;
inline constexpr int kAudioListId = 1001;
inline constexpr int kVideoConfigId = 1002;
inline constexpr int kAudioConfigId = 1003;
inline constexpr int kMuxConfigId = 3;
inline constexpr int kCancelId = 2;
inline constexpr int kOkId = 1;

// "Select Compression Codecs", set up from `host` and applying each
// selection to it; not yet shown.
std::unique_ptr<QDialog> make_codec_dialog(CodecDialogHost& host, QWidget* parent);

}  // namespace corvexa::media
