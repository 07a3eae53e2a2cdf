// The codec dialog's lists and its set-up rules, without any window: the Qt
// dialog shows this state, and a headless start applies the same choices.
#pragma once

#include <string>
#include <vector>

namespace corvexa::media {

inline constexpr char kNoCompression[] = "<<No Compression>>";

struct CodecListItem {
  std::string text;
  int data = -1;  // index in the job's compressor list; -1 "<<No Compression>>"
};

// A sorted list box: items in case-insensitive order.
struct CodecListBox {
  std::vector<CodecListItem> items;
  int selected = -1;
  bool enabled = true;

  // "<<No Compression>>" and `names`, sorted; "<<No Compression>>" selected.
  void fill(const std::vector<std::string>& names);
  // The list box's own prefix search: the first item whose text begins with
  // `text` ignoring case, from the second item on and then the first; -1.
  int find_prefix(const std::string& text) const;
  // Selects the first of `preferred` that the list has; false when none.
  bool select_first_of(const std::vector<std::string>& preferred);
  int selected_data() const;
};

struct CodecDialogState {
  CodecListBox audio, video;
};

// Both lists filled and selected as the dialog opens (before the selections
// are applied to the job).
CodecDialogState codec_dialog_setup(const std::vector<std::string>& audio_names,
                                    const std::vector<std::string>& video_names,
                                    bool has_audio, bool has_video, int preset);

}  // namespace corvexa::media
