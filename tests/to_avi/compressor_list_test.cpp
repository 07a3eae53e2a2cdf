// CODECLIST and the job's own lists: which names, in which order, and the
// rules of enumeration and of handing names out.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/kinds.h"
#include "to_avi_fixtures.h"

namespace {

using List = media_test::Owned<corvexa::CodecList>;

List make_list() {
  return media_test::make_object<corvexa::CodecList>(corvexa::core::construct_codeclist);
}

std::vector<std::string> names(corvexa::CodecList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) {
    char16_t* name = nullptr;
    EXPECT_TRUE(list.NameAt(i, &name));
    std::string text;
    for (const char16_t* p = name; *p != u'\0'; ++p) text += static_cast<char>(*p);
    std::free(name);
    out.push_back(text);
  }
  return out;
}

bool has_encoder(const std::string& name) {
  static const std::string encoders =
      media_test::command_output("ffmpeg -hide_banner -encoders 2>/dev/null");
  return encoders.find(" " + name + " ") != std::string::npos;
}

// The expected lists: every candidate FFmpeg has, in this order.
std::vector<std::string> expected(const std::vector<std::string>& candidates) {
  std::vector<std::string> out;
  for (const std::string& c : candidates) {
    const std::string encoder = c.substr(c.rfind('(') + 1, c.size() - c.rfind('(') - 2);
    if (has_encoder(encoder)) out.push_back(c);
  }
  return out;
}

TEST(CompressorList, NamesAndOrderFollowWhatFfmpegHas) {
  auto video = make_list();
  auto audio = make_list();
  ASSERT_TRUE(video && audio);
  EXPECT_EQ(video->Count(), 0);
  ASSERT_TRUE(video->EnumerateVideoCompressors());
  ASSERT_TRUE(audio->EnumerateAudioCompressors());
  EXPECT_EQ(names(*video),
            expected({"DivX-compatible MPEG-4 (mpeg4)", "Xvid MPEG-4 (libxvid)",
                      "Motion JPEG (mjpeg)", "H.264 (libx264)", "FFV1 lossless (ffv1)",
                      "Uncompressed RGB (rawvideo)"}));
  EXPECT_EQ(names(*audio),
            expected({"MPEG Layer-3 (libmp3lame)", "PCM (pcm_s16le)", "AC-3 (ac3)"}));
  // The built-in encoders every FFmpeg has are always there.
  EXPECT_GE(video->Count(), 4);
  EXPECT_GE(audio->Count(), 2);
}

TEST(CompressorList, EachEnumerationAppends) {
  auto list = make_list();
  ASSERT_TRUE(list);
  ASSERT_TRUE(list->EnumerateAudioCompressors());
  const auto once = names(*list);
  ASSERT_TRUE(list->EnumerateAudioCompressors());
  auto twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(names(*list), twice);
  ASSERT_TRUE(list->EnumerateVideoCompressors());
  EXPECT_GT(list->Count(), static_cast<int>(twice.size()));
}

TEST(CompressorList, NameAtOutsideTheListLeavesTheArgumentAlone) {
  auto list = make_list();
  ASSERT_TRUE(list);
  char16_t marker[] = u"x";
  char16_t* name = marker;
  EXPECT_FALSE(list->NameAt(0, &name));  // empty list
  ASSERT_TRUE(list->EnumerateVideoCompressors());
  for (int index : {list->Count(), list->Count() + 5, -1}) {
    EXPECT_FALSE(list->NameAt(index, &name)) << index;
    EXPECT_EQ(name, marker);
  }
  EXPECT_FALSE(list->NameAt(0, nullptr));
}

TEST(CompressorList, JobListsMatchAndTheDivxPresetFindsMpeg4) {
  auto job = to_avi_test::make_job();
  auto video = make_list();
  ASSERT_TRUE(job && video);
  ASSERT_TRUE(video->EnumerateVideoCompressors());
  const auto listed = names(*video);
  ASSERT_EQ(job->VideoCompressorCount(), static_cast<int>(listed.size()));
  for (int i = 0; i < job->VideoCompressorCount(); ++i)
    EXPECT_EQ(to_avi_test::video_name(*job, i), listed[static_cast<std::size_t>(i)]);
  EXPECT_EQ(to_avi_test::video_name(*job, job->VideoCompressorCount()), "");
  EXPECT_TRUE(job->SetCompressorPreset(corvexa::kPresetDivx));
  EXPECT_TRUE(job->SetCompressorPreset(corvexa::kPresetAvi));
  // Binding is by the name at the index; one past the list binds nothing.
  EXPECT_TRUE(job->SelectVideoCompressor(0));
  EXPECT_TRUE(job->VideoCompressorHasConfig());
  EXPECT_FALSE(job->SelectVideoCompressor(job->VideoCompressorCount()));
  EXPECT_FALSE(job->VideoCompressorHasConfig());
  EXPECT_FALSE(job->SelectAudioCompressor(-1));
  EXPECT_TRUE(job->SelectAudioCompressor(job->AudioCompressorCount() - 1));
}

}  // namespace
