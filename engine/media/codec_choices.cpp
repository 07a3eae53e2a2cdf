#include "media/codec_choices.h"

#include <algorithm>
#include <cctype>

#include "corvexa/media_to_avi.h"

namespace corvexa::media {

namespace {

int compare_ignoring_case(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int x = std::tolower(static_cast<unsigned char>(a[i]));
    const int y = std::tolower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool begins_with_ignoring_case(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && compare_ignoring_case(text.substr(0, prefix.size()), prefix) == 0;
}

}  // namespace

void CodecListBox::fill(const std::vector<std::string>& names) {
  items.clear();
  items.push_back({kNoCompression, -1});
  for (std::size_t i = 0; i < names.size(); ++i) items.push_back({names[i], static_cast<int>(i)});
  // Equal names keep their list order, as a list box inserts them.
  std::stable_sort(items.begin(), items.end(), [](const CodecListItem& a, const CodecListItem& b) {
    return compare_ignoring_case(a.text, b.text) < 0;
  });
  selected = 0;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].data == -1) selected = static_cast<int>(i);
  enabled = true;
}

int CodecListBox::find_prefix(const std::string& text) const {
  const int n = static_cast<int>(items.size());
  for (int step = 1; step <= n; ++step) {
    const int i = step % n;
    if (begins_with_ignoring_case(items[static_cast<std::size_t>(i)].text, text)) return i;
  }
  return -1;
}

bool CodecListBox::select_first_of(const std::vector<std::string>& preferred) {
  for (const std::string& text : preferred) {
    const int found = find_prefix(text);
    if (found >= 0) {
      selected = found;
      return true;
    }
  }
  return false;
}

int CodecListBox::selected_data() const {
  if (selected < 0 || selected >= static_cast<int>(items.size())) return -1;
  return items[static_cast<std::size_t>(selected)].data;
}

CodecDialogState codec_dialog_setup(const std::vector<std::string>& audio_names,
                                    const std::vector<std::string>& video_names,
                                    bool has_audio, bool has_video, int preset) {
  CodecDialogState state;
  state.audio.fill(audio_names);
  if (has_audio)
    state.audio.select_first_of({"MPEG Layer-3", "Divx ;-) Audio", "PCM"});
  else
    state.audio.enabled = false;
  state.video.fill(video_names);
  if (!has_video) {
    state.video.enabled = false;
  } else if (preset == kPresetDivx) {
    state.video.select_first_of({"Divx"});
  } else {
    // The names of the compressors this dialog was first made for; a
    // compressor list without them keeps "<<No Compression>>".
    state.video.select_first_of({"Indeo? video 5.10", "Indeo? video 5.10 Compression Filter",
                                 "Indeo_ video 5.04", "Indeo_ video 5.04 Compression Filter",
                                 "Divx ;-) MPEG-4 Fast-Motion", "Divx ;-) MPEG-4 Low-Motion"});
  }
  return state;
}

}  // namespace corvexa::media
