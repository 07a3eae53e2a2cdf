// Media files our AVI services cannot open go into the AVI-to-MPEG job all
// the same: frames through the frame source, sound decoded by the platform.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/factory.h"
#include "core/kinds.h"
#include "corvexa/avi_to_mpeg.h"
#include "corvexa/mpeg_encoder.h"
#include "media_fixtures.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace {

using namespace corvexa;

bool convert(const std::string& source, const std::string& output, int kind) {
  auto* job = static_cast<AviToMpegJob*>(core::make_heap_object(core::construct_avitompeg));
  if (job == nullptr) return false;
  kavrol_test::RecordingSink sink;
  job->SetTarget(kind, 1);
  job->SetSink(&sink);
  job->SetSourceFile(source.c_str());
  job->SetOutputFile(output.c_str());
  job->Start();
  const bool ended = sink.wait_for_end(std::chrono::seconds(300));
  job->Release();
  return ended && sink.completed == 1 && sink.errors.empty();
}

std::string probe(const std::string& file, const std::string& entries) {
  std::string out = media_test::command_output("ffprobe -v error " + entries + " -of csv=p=0 '" + file + "'");
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

struct Source {
  const char* file;
  const char* codecs;
  int kind;
};

TEST(OtherMediaConversion, FramesAndWholeSound) {
  const Source sources[] = {
      {"any.mp4", "-c:v mpeg4 -c:a aac", kTargetMpeg1},
      {"any.wmv", "-c:v wmv2 -c:a wmav2", kTargetMpeg2},
      {"any.mpg", "-c:v mpeg1video -c:a mp2 -f mpeg", kTargetDvd},
  };
  for (const Source& s : sources) {
    SCOPED_TRACE(s.file);
    const std::string clip = media_test::ffmpeg_fixture(
        s.file, std::string("-f lavfi -i testsrc=size=176x144:rate=25:duration=1 "
                            "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 ") + s.codecs);
    ASSERT_FALSE(clip.empty());
    kavrol_test::TempDir dir;
    const std::string out = dir.file("out.mpg");
    ASSERT_TRUE(convert(clip, out, s.kind));
    EXPECT_EQ(std::system(("ffmpeg -nostdin -v error -xerror -i '" + out + "' -f null - 2>/dev/null").c_str()), 0);
    const int frames = std::atoi(
        probe(out, "-select_streams v:0 -count_frames -show_entries stream=nb_read_frames").c_str());
    EXPECT_GE(frames, 25);
    EXPECT_LE(frames, 27);
    const double sound = std::atof(probe(out, "-select_streams a:0 -show_entries stream=duration").c_str());
    EXPECT_NEAR(sound, 1.0, 0.1);
  }
}

TEST(OtherMediaConversion, NotMediaStillFails) {
  kavrol_test::TempDir dir;
  const std::string text = dir.file("words.mp4");
  ASSERT_TRUE(media_test::write_text_file(text, "no pictures\n"));
  EXPECT_FALSE(convert(text, dir.file("out.mpg"), kTargetMpeg1));
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.mpg")));
}

}  // namespace
