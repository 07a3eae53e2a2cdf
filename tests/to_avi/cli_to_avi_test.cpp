// kavrol-cli to-avi and codecs as a user runs them.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "to_avi_fixtures.h"

namespace {

std::string cli() { return std::string(KAVROL_BIN_DIR) + "/kavrol-cli"; }

int run(const std::string& arguments, std::string* out = nullptr) {
  int status = 0;
  const std::string text =
      media_test::command_output(cli() + " " + arguments + " 2>/dev/null", &status);
  if (out != nullptr) *out = text;
  return status;  // already the exit status
}

TEST(CliToAvi, CodecsListsBothKinds) {
  std::string out;
  ASSERT_EQ(run("codecs", &out), 0);
  const auto video = out.find("Video compressors:\n  DivX-compatible MPEG-4 (mpeg4)\n");
  const auto audio = out.find("Audio compressors:\n");
  EXPECT_NE(video, std::string::npos) << out;
  EXPECT_NE(audio, std::string::npos) << out;
  EXPECT_LT(video, audio);
  EXPECT_NE(out.find("  PCM (pcm_s16le)\n"), std::string::npos);
  EXPECT_EQ(run("codecs extra"), 2);
}

TEST(CliToAvi, ConvertsWithPresetsAndNamedCompressors) {
  const std::string source = media_test::ffmpeg_fixture(
      "cli_source.mkv",
      std::string(media_test::kTestPicture) + " " + media_test::kTestTone + " -c:v mpeg4 -c:a flac");
  ASSERT_FALSE(source.empty());
  kavrol_test::TempDir dir;
  struct Case {
    std::string options;
    int status;
    const char *video, *audio;  // expected codecs; null: no file
  } cases[] = {
      {"", 0, "rawvideo", "mp3"},
      {"--divx", 0, "mpeg4", "mp3"},
      {"--video mjpeg --audio pcm", 0, "mjpeg", "pcm_s16le"},
      {"--video 'FFV1 lossless (ffv1)' --audio none", 0, "ffv1", "pcm_s16le"},
      {"--video no-such-thing", 2, nullptr, nullptr},
      {"--bogus", 2, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string output = dir.file("out.avi");
    std::filesystem::remove(output);
    std::string out;
    EXPECT_EQ(run("to-avi " + c.options + " '" + source + "' -o '" + output + "'", &out), c.status);
    ASSERT_EQ(to_avi_test::file_exists(output), c.video != nullptr);
    if (c.video == nullptr) continue;
    EXPECT_NE(out.find(" -> " + output + " ("), std::string::npos) << out;
    const auto streams = to_avi_test::probe(output);
    ASSERT_NE(to_avi_test::find_stream(streams, "video"), nullptr);
    EXPECT_EQ(to_avi_test::find_stream(streams, "video")->codec, c.video);
    EXPECT_EQ(to_avi_test::find_stream(streams, "audio")->codec, c.audio);
  }
}

TEST(CliToAvi, DefaultNameNeverTheSourceAndFailuresExitOne) {
  kavrol_test::TempDir dir;
  const std::string source = dir.file("clip.avi");
  ASSERT_FALSE(media_test::raw_avi_fixture("cli_raw.avi", 10, true).empty());
  std::filesystem::copy_file(media_test::raw_avi_fixture("cli_raw.avi", 10, true), source);
  EXPECT_EQ(run("to-avi '" + source + "'"), 0);
  EXPECT_TRUE(to_avi_test::file_exists(dir.file("clip-converted.avi")));
  const std::string text = dir.file("notes.txt");
  ASSERT_TRUE(media_test::write_text_file(text, "hello\n"));
  EXPECT_EQ(run("to-avi '" + text + "'"), 1);
  EXPECT_EQ(run("to-avi '" + dir.file("absent.wmv") + "' -o '" + dir.file("x.avi") + "'"), 1);
  EXPECT_EQ(run("to-avi"), 2);
  EXPECT_EQ(run("to-avi a b -o c.avi"), 2);
  EXPECT_EQ(to_avi_test::folder_files(dir.path().string()),
            (std::vector<std::string>{"clip-converted.avi", "clip.avi", "notes.txt"}));
}

}  // namespace
