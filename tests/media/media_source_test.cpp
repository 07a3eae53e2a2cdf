// MEDIAVIDEOINFO's measurement and MYMEDIASOURCE's frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/factory.h"
#include "core/kinds.h"
#include "core/video_frame_reader.h"
#include "corvexa/media_source.h"
#include "corvexa/media_video_info.h"
#include "media_fixtures.h"
#include "support/temp_dir.h"
#include "support/test_holder.h"

namespace {

using namespace corvexa;

using media_test::Owned;

Owned<MediaVideoInfo> make_info() { return media_test::make_object<MediaVideoInfo>(core::construct_mediavideoinfo); }
Owned<MediaSource> make_source() { return media_test::make_object<MediaSource>(core::construct_mymediasource); }

// The B, G, R bytes of a 32-bit picture; the fourth byte of a pixel is
// not used.
std::vector<std::uint8_t> colours(const std::vector<std::uint8_t>& picture) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < picture.size(); ++i)
    if (i % 4 != 3) out.push_back(picture[i]);
  return out;
}

std::string clip_mov() {
  return media_test::ffmpeg_fixture(
      "measure.mov", std::string(media_test::kTestPicture) + " -c:v mpeg4 -q:v 3");
}

TEST(MediaVideoInfo, MeasuresTheVideo) {
  const std::string mov = clip_mov();
  ASSERT_FALSE(mov.empty());
  Owned<MediaVideoInfo> info = make_info();
  ASSERT_TRUE(info);
  ASSERT_TRUE(info->Open(mov.c_str()));
  EXPECT_EQ(info->Width(), 160);
  EXPECT_EQ(info->Height(), 120);
  EXPECT_EQ(info->BitCount(), 32);
  EXPECT_EQ(info->FrameCount(), 50);
}

TEST(MediaVideoInfo, FilesWithoutVideoAreRefused) {
  const std::string wav = media_test::ffmpeg_fixture(
      "sound.wav", std::string(media_test::kTestTone) + " -c:a pcm_s16le");
  ASSERT_FALSE(wav.empty());
  kavrol_test::TempDir dir;
  const std::string overlong = dir.path().string() + "/" + std::string(300, 'x') + ".mov";
  for (const std::string& path : {wav, dir.file("missing.mp4"), overlong}) {
    SCOPED_TRACE(path);
    Owned<MediaVideoInfo> info = make_info();
    EXPECT_FALSE(info->Open(path.c_str()));
    EXPECT_EQ(info->FrameCount(), 0);
  }
  EXPECT_FALSE(make_info()->Open(nullptr));
}

// The frame source gives the same pictures as our AVI services, one per
// request at the current position, and ends with false.
TEST(MediaSource, SamePicturesAsTheAviServices) {
  const int frames = 6;
  const std::string avi = media_test::raw_avi_fixture("frames.avi", frames, false);
  ASSERT_FALSE(avi.empty());
  core::VideoFrameReader reader;
  ASSERT_TRUE(reader.Open(avi));
  Owned<MediaSource> source = make_source();
  ASSERT_TRUE(source->Open(avi.c_str()));
  EXPECT_EQ(source->Width(), 32);
  EXPECT_EQ(source->Height(), 24);
  EXPECT_EQ(source->FrameCount(), frames);
  for (int n = 0; n < frames; ++n) {
    SCOPED_TRACE(n);
    kavrol_test::TestHolder expected, got;
    std::int32_t expected_line = 0, got_line = 0;
    ASSERT_TRUE(reader.ReadFrame(expected, expected_line, n));
    ASSERT_TRUE(source->GetFrame(&got, &got_line, n));
    EXPECT_EQ(got_line, 32 * 4);
    EXPECT_EQ(colours(got.bytes()), colours(expected.bytes()));
    EXPECT_EQ(source->Position(), n + 1);
  }
  kavrol_test::TestHolder past;
  std::int32_t line = 0;
  EXPECT_FALSE(source->GetFrame(&past, &line, frames));
  std::vector<std::uint8_t> buffer(32 * 4 * 24);
  EXPECT_FALSE(source->NextFrame(buffer.data()));
}

TEST(MediaSource, OtherNumbersRepeatTheLastPicture) {
  const std::string avi = media_test::raw_avi_fixture("frames.avi", 6, false);
  Owned<MediaSource> source = make_source();
  ASSERT_TRUE(source->Open(avi.c_str()));
  std::int32_t line = 0;
  kavrol_test::TestHolder before;
  EXPECT_FALSE(source->GetFrame(&before, &line, 3)) << "nothing fetched yet";
  kavrol_test::TestHolder first, again, ahead, second;
  ASSERT_TRUE(source->GetFrame(&first, &line, 0));
  ASSERT_TRUE(source->GetFrame(&again, &line, 0));
  ASSERT_TRUE(source->GetFrame(&ahead, &line, 4));
  EXPECT_EQ(source->Position(), 1);
  EXPECT_EQ(again.bytes(), first.bytes());
  EXPECT_EQ(ahead.bytes(), first.bytes());
  ASSERT_TRUE(source->GetFrame(&second, &line, 1));
  EXPECT_NE(second.bytes(), first.bytes());
  source->Close();
  EXPECT_EQ(source->Position(), 0);
  EXPECT_EQ(source->FrameCount(), 0);
  EXPECT_FALSE(source->GetFrame(&before, &line, 0));
}

TEST(MediaSource, RefusesWhatIsNotVideo) {
  kavrol_test::TempDir dir;
  const std::string text = dir.file("words.txt");
  ASSERT_TRUE(media_test::write_text_file(text, "no pictures here\n"));
  Owned<MediaSource> source = make_source();
  EXPECT_FALSE(source->Open(text.c_str()));
  EXPECT_FALSE(source->Open(nullptr));
  EXPECT_EQ(source->Width(), 0);
}

// A compressed file: every frame of its count comes, in order, at its size.
TEST(MediaSource, FramesOfACompressedFile) {
  const std::string mov = clip_mov();
  ASSERT_FALSE(mov.empty());
  Owned<MediaSource> source = make_source();
  ASSERT_TRUE(source->Open(mov.c_str()));
  int delivered = 0;
  std::vector<std::uint8_t> previous;
  while (true) {
    kavrol_test::TestHolder holder;
    std::int32_t line = 0;
    if (!source->GetFrame(&holder, &line, delivered)) break;
    EXPECT_EQ(holder.bytes().size(), 160u * 4 * 120);
    EXPECT_NE(holder.bytes(), previous) << "frame " << delivered << " repeats";
    previous = holder.bytes();
    ++delivered;
  }
  EXPECT_EQ(delivered, 50);
}

}  // namespace
