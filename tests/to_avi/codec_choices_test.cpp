// The codec dialog's set-up rules, as both the dialog and a headless start
// apply them.
#include <gtest/gtest.h>

#include "corvexa/media_to_avi.h"
#include "media/codec_choices.h"

namespace {

using corvexa::media::CodecListBox;
using corvexa::media::codec_dialog_setup;

const std::vector<std::string> kVideo = {"DivX-compatible MPEG-4 (mpeg4)", "Motion JPEG (mjpeg)",
                                         "FFV1 lossless (ffv1)", "Uncompressed RGB (rawvideo)"};
const std::vector<std::string> kAudio = {"MPEG Layer-3 (libmp3lame)", "PCM (pcm_s16le)",
                                         "AC-3 (ac3)"};

std::string selected_text(const CodecListBox& box) {
  return box.items.at(static_cast<std::size_t>(box.selected)).text;
}

TEST(CodecChoices, ListsAreSortedWithNoCompressionAndKeepTheirIndexes) {
  CodecListBox box;
  box.fill({"pcm b", "AC-3", "<<No Compression>> twin", "Zeta", "alpha"});
  std::vector<std::string> texts;
  std::vector<int> data;
  for (const auto& item : box.items) {
    texts.push_back(item.text);
    data.push_back(item.data);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"<<No Compression>>", "<<No Compression>> twin",
                                             "AC-3", "alpha", "pcm b", "Zeta"}));
  EXPECT_EQ(data, (std::vector<int>{-1, 2, 1, 4, 0, 3}));
  EXPECT_EQ(box.selected_data(), -1);
}

TEST(CodecChoices, PrefixSearchStartsAtTheSecondItemAndWraps) {
  CodecListBox box;
  box.fill({"Divx one", "divx two"});
  // Items: <<No Compression>>, Divx one, divx two.
  EXPECT_EQ(box.find_prefix("DIVX"), 1);
  EXPECT_EQ(box.find_prefix("divx t"), 2);
  EXPECT_EQ(box.find_prefix("<<no"), 0);  // found last, after the wrap
  EXPECT_EQ(box.find_prefix("Indeo"), -1);
  EXPECT_EQ(box.find_prefix("Divx one and more"), -1);
}

TEST(CodecChoices, SetupFollowsThePresetAndTheStreams) {
  struct Case {
    bool audio, video;
    int preset;
    const char *audio_choice, *video_choice;
    bool audio_enabled, video_enabled;
  } cases[] = {
      {true, true, corvexa::kPresetAvi, "MPEG Layer-3 (libmp3lame)", "<<No Compression>>", true, true},
      {true, true, corvexa::kPresetDivx, "MPEG Layer-3 (libmp3lame)",
       "DivX-compatible MPEG-4 (mpeg4)", true, true},
      // Sound only: the video list is disabled and keeps "<<No Compression>>".
      {true, false, corvexa::kPresetDivx, "MPEG Layer-3 (libmp3lame)", "<<No Compression>>", true,
       false},
      // Neither (a start without a probe): both lists disabled.
      {false, false, corvexa::kPresetAvi, "<<No Compression>>", "<<No Compression>>", false, false},
  };
  for (const Case& c : cases) {
    const auto state = codec_dialog_setup(kAudio, kVideo, c.audio, c.video, c.preset);
    EXPECT_EQ(selected_text(state.audio), c.audio_choice);
    EXPECT_EQ(selected_text(state.video), c.video_choice);
    EXPECT_EQ(state.audio.enabled, c.audio_enabled);
    EXPECT_EQ(state.video.enabled, c.video_enabled);
  }
}

TEST(CodecChoices, AudioFallsBackToPcmAndDivxNeedsItsName) {
  const auto no_mp3 = codec_dialog_setup({"AC-3 (ac3)", "PCM (pcm_s16le)"}, {"Motion JPEG (mjpeg)"},
                                         true, true, corvexa::kPresetDivx);
  EXPECT_EQ(selected_text(no_mp3.audio), "PCM (pcm_s16le)");
  EXPECT_EQ(no_mp3.audio.selected_data(), 1);
  // No DivX compressor: "<<No Compression>>" stays.
  EXPECT_EQ(no_mp3.video.selected_data(), -1);
  const auto older = codec_dialog_setup({"Divx ;-) Audio", "PCM"},
                                        {"Divx ;-) MPEG-4 Low-Motion", "Indeo? video 5.10"}, true,
                                        true, corvexa::kPresetAvi);
  EXPECT_EQ(selected_text(older.audio), "Divx ;-) Audio");
  EXPECT_EQ(selected_text(older.video), "Indeo? video 5.10");
}

}  // namespace
