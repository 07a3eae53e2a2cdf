// The media-to-AVI job end to end: generated sources of several kinds
// through each preset, the start steps' messages, the range, stop, and the
// files a failed run must not leave behind.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <thread>

#include <unistd.h>

#include "avi/avi_reader.h"
#include "avi/reader_error.h"
#include "corvexa/avi_types.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"
#include "to_avi_fixtures.h"

using namespace to_avi_test;

namespace {

struct Source {
  const char* name;
  const char* args;  // ffmpeg arguments that make it
  bool video, audio;
  double seconds;
};

// Each kind of source the desktop program offers "ALL to AVI" for, with
// sizes, rates and sound formats that differ from one another.
const Source kSources[] = {
    {"wmv_wma.wmv",
     "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i "
     "sine=f=440:r=44100:d=2 -c:v wmv2 -c:a wmav2",
     true, true, 2.0},
    {"mpg_mp2.mpg",
     "-f lavfi -i testsrc=size=176x144:rate=25:duration=2 -f lavfi -i "
     "sine=f=440:r=48000:d=2 -c:v mpeg2video -c:a mp2 -f mpeg",
     true, true, 2.0},
    {"mov_aac.mov",
     "-f lavfi -i testsrc=size=162x122:rate=30000/1001:duration=2 -f lavfi -i "
     "sine=f=440:r=32000:d=2 -c:v mpeg4 -c:a aac",
     true, true, 2.0},
    {"mp4_aac.mp4",
     "-f lavfi -i testsrc=size=161x121:rate=24:duration=2 -f lavfi -i "
     "sine=f=440:r=22050:d=2 -ac 1 -c:v libx264 -c:a aac -shortest",
     true, true, 2.0},
    {"mkv_opus.mkv",
     "-f lavfi -i testsrc=size=128x96:rate=15:duration=2 -f lavfi -i "
     "sine=f=440:r=48000:d=2 -c:v mjpeg -c:a libopus",
     true, true, 2.0},
    {"sound.mp3", "-f lavfi -i sine=f=440:r=44100:d=2 -c:a libmp3lame", false, true, 2.0},
    {"pictures.mkv", "-f lavfi -i testsrc=size=96x64:rate=10:duration=2 -c:v ffv1", true, false,
     2.0},
};

struct Preset {
  int preset;
  const char* video;  // what the AVI's video stream must be
  const char* audio;
};
const Preset kPresets[] = {
    {corvexa::kPresetAvi, "rawvideo", "mp3"},
    {corvexa::kPresetDivx, "mpeg4", "mp3"},
};

// Frames and samples our own AVI reader finds in a stream; -1 without it.
int reader_length(const std::string& path, std::uint32_t type) {
  try {
    corvexa::avi::AviReader* file = corvexa::avi::AviReader::open(path);
    corvexa::AviStreamApi* stream = file->GetStream(type, 0);
    int length = -1;
    if (stream != nullptr) {
      length = stream->End() - stream->Start();
      stream->Destroy(1);
    }
    file->Release();
    return length;
  } catch (const corvexa::avi::ReaderError&) {
    return -2;
  }
}

double container_seconds(const std::string& path) {
  return std::atof(media_test::command_output("ffprobe -v error -show_entries format=duration "
                                              "-of csv=p=0 '" + path + "'")
                       .c_str());
}

// How much longer than the source's an encoded sound may be: MP3's lead-in
// and last frame, or a frame of any other encoder.
double sound_slack(const ProbedStream& audio) {
  const double rate = audio.sample_rate > 0 ? audio.sample_rate : 44100;
  return (audio.codec == "mp3" ? 1105.0 + 1152.0 : 1536.0) / rate + 0.01;
}

class MediaToAviTest : public ::testing::Test {
 protected:
  // A headless job reporting to `sink`, given its source and output.
  static Job ready_job(AviSink& sink, const std::string& source, const std::string& output) {
    auto job = make_job();
    if (!job) return job;
    job->SetSink(&sink);
    job->SetDialogParent(corvexa::headless_dialog_parent());
    EXPECT_TRUE(job->SetSourceFile(source.c_str())) << source;
    job->SetOutputFile(output.c_str());
    return job;
  }
  // Runs the job on `source` into `output` and waits for its end.
  void convert(corvexa::MediaToAvi& job, AviSink& sink, const std::string& source,
               const std::string& output) {
    job.SetSink(&sink);
    job.SetDialogParent(corvexa::headless_dialog_parent());
    job.SetSourceFile(source.c_str());
    job.SetOutputFile(output.c_str());
    job.Start();
    ASSERT_TRUE(sink.wait_for_end()) << source;
  }
  kavrol_test::TempDir dir_;
};

TEST_F(MediaToAviTest, EverySourceKindConvertsWithEachPreset) {
  for (const Source& source : kSources) {
    const std::string path = media_test::ffmpeg_fixture(source.name, source.args);
    ASSERT_FALSE(path.empty()) << source.name;
    for (const Preset& preset : kPresets) {
      SCOPED_TRACE(std::string(source.name) + " preset " + std::to_string(preset.preset));
      auto job = make_job();
      ASSERT_TRUE(job);
      ASSERT_TRUE(job->SetCompressorPreset(preset.preset));
      AviSink sink;
      const std::string output = dir_.file(std::string(source.name) + ".avi");
      convert(*job, sink, path, output);
      job.reset();
      ASSERT_EQ(sink.completions.size(), 1u) << (sink.errors.empty() ? "" : sink.errors[0]);
      EXPECT_TRUE(sink.errors.empty());
      ASSERT_FALSE(sink.progress.empty());
      EXPECT_TRUE(std::is_sorted(sink.progress.begin(), sink.progress.end()));
      EXPECT_GE(sink.progress.front(), 0);
      EXPECT_LT(sink.progress.back(), 10000);

      std::string warnings;
      const auto streams = probe(output, &warnings);
      EXPECT_EQ(warnings, "");
      const ProbedStream* video = find_stream(streams, "video");
      const ProbedStream* audio = find_stream(streams, "audio");
      ASSERT_EQ(video != nullptr, source.video);
      ASSERT_EQ(audio != nullptr, source.audio);
      if (video != nullptr) {
        EXPECT_EQ(video->codec, preset.video);
        if (preset.preset == corvexa::kPresetDivx) {
          EXPECT_EQ(video->tag, "DIVX");
        }
        // Within one frame of the source's length.
        const auto info = media_test::command_output(
            "ffprobe -v error -select_streams v -show_entries stream=r_frame_rate -of csv=p=0 '" +
            output + "'");
        int num = 0, den = 1;
        std::sscanf(info.c_str(), "%d/%d", &num, &den);
        ASSERT_GT(num, 0);
        const double frame = static_cast<double>(den) / num;
        // The container's length: a stream that starts late (WMV's video at
        // 46 ms) is still shown from 0, beside the sound.
        EXPECT_NEAR(video->packets * frame, container_seconds(path), frame + 1e-6);
        EXPECT_EQ(reader_length(output, corvexa::kStreamTypeVideo), video->packets);
      }
      if (audio != nullptr) {
        EXPECT_EQ(audio->codec, preset.audio);
        // The whole sound, with at most the encoder's lead-in and one
        // frame of padding more.
        EXPECT_GE(audio->duration, source.seconds - 0.03);
        EXPECT_LE(audio->duration, source.seconds + sound_slack(*audio));
        EXPECT_GT(reader_length(output, corvexa::kStreamTypeAudio), 0);
      }
    }
  }
}

TEST_F(MediaToAviTest, NoCompressionStoresDecodedPicturesAndPcm) {
  const std::string path = media_test::ffmpeg_fixture(kSources[2].name, kSources[2].args);
  auto job = make_job();
  ASSERT_TRUE(job);
  // An index past the lists chooses "<<No Compression>>".
  EXPECT_FALSE(job->SelectVideoCompressor(job->VideoCompressorCount()));
  EXPECT_FALSE(job->SelectAudioCompressor(job->AudioCompressorCount()));
  AviSink sink;
  const std::string output = dir_.file("plain.avi");
  convert(*job, sink, path, output);
  job.reset();
  ASSERT_EQ(sink.completions.size(), 1u) << (sink.errors.empty() ? "" : sink.errors[0]);
  const auto streams = probe(output);
  ASSERT_NE(find_stream(streams, "video"), nullptr);
  ASSERT_NE(find_stream(streams, "audio"), nullptr);
  EXPECT_EQ(find_stream(streams, "video")->codec, "rawvideo");
  // The odd picture size is kept: nothing needs whole chroma samples.
  EXPECT_EQ(find_stream(streams, "video")->width, 162);
  EXPECT_EQ(find_stream(streams, "audio")->codec, "pcm_s16le");
  EXPECT_EQ(find_stream(streams, "audio")->sample_rate, 32000);
  // Uncompressed frames must come out as the source's pictures, the right
  // way up: compare the top-left block's colour with the source's.
  const std::string ours = media_test::command_output(
      "ffmpeg -v error -i '" + output + "' -frames:v 1 -vf crop=8:8:0:0,scale=1:1 -f rawvideo "
      "-pix_fmt rgb24 - | od -An -tu1");
  const std::string theirs = media_test::command_output(
      "ffmpeg -v error -i '" + path + "' -frames:v 1 -vf crop=8:8:0:0,scale=1:1 -f rawvideo "
      "-pix_fmt rgb24 - | od -An -tu1");
  int a[3] = {}, b[3] = {};
  ASSERT_EQ(std::sscanf(ours.c_str(), "%d %d %d", &a[0], &a[1], &a[2]), 3);
  ASSERT_EQ(std::sscanf(theirs.c_str(), "%d %d %d", &b[0], &b[1], &b[2]), 3);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], 12) << i;
}

TEST_F(MediaToAviTest, ChosenCompressorsAreTheOnesWritten) {
  const std::string path = media_test::ffmpeg_fixture(kSources[0].name, kSources[0].args);
  struct Case {
    const char *video, *audio;      // parts of the friendly names
    const char *video_codec, *audio_codec;
  } cases[] = {
      {"(mjpeg)", "(ac3)", "mjpeg", "ac3"},
      {"(ffv1)", "(pcm_s16le)", "ffv1", "pcm_s16le"},
      {"(libx264)", "(libmp3lame)", "h264", "mp3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.video);
    auto job = make_job();
    ASSERT_TRUE(job);
    const int v = find_video(*job, c.video), a = find_audio(*job, c.audio);
    if (v < 0 || a < 0) continue;  // not in this FFmpeg build
    ASSERT_TRUE(job->SelectVideoCompressor(v));
    ASSERT_TRUE(job->SelectAudioCompressor(a));
    AviSink sink;
    const std::string output = dir_.file("chosen.avi");
    std::filesystem::remove(output);
    convert(*job, sink, path, output);
    job.reset();
    ASSERT_EQ(sink.completions.size(), 1u) << (sink.errors.empty() ? "" : sink.errors[0]);
    const auto streams = probe(output);
    ASSERT_NE(find_stream(streams, "video"), nullptr);
    EXPECT_EQ(find_stream(streams, "video")->codec, c.video_codec);
    EXPECT_EQ(find_stream(streams, "audio")->codec, c.audio_codec);
  }
}

TEST_F(MediaToAviTest, StartStepsReportTheirMessages) {
  const std::string good = media_test::ffmpeg_fixture(kSources[0].name, kSources[0].args);
  const std::string text = dir_.file("notes.wmv");
  ASSERT_TRUE(media_test::write_text_file(text, "not a media file\n"));
  // Video whose compression nothing decodes, and no sound.
  kavrol_test::AviWriter writer;
  kavrol_test::AviVideoFormat format;
  format.width = 16;
  format.height = 16;
  format.compression = corvexa::make_fourcc('Q', 'Z', 'Q', 'Z');
  const int v = writer.add_video(format);
  writer.add_chunk(v, std::vector<std::uint8_t>(100, 7));
  const std::string undecodable = dir_.file("undecodable.avi");
  ASSERT_TRUE(writer.write(undecodable));
  std::filesystem::create_directory(dir_.file("locked"));
  std::filesystem::permissions(dir_.file("locked"), std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::owner_exec);
  const bool root = ::geteuid() == 0;

  struct Case {
    std::string source, output, message;
  } cases[] = {
      {good, "", "Must set the output file name."},
      {text, dir_.file("a.avi"), "Not input media File or invalidate format media file!"},
      {undecodable, dir_.file("b.avi"),
       "There is not audio or video stream in this media file,can not convert!"},
      {good, dir_.file("missing/c.avi"),
       "Can not create the output file ,please check the output file 's path."},
      {good, dir_.path().string(),
       "Can not create the output file ,please check the output file 's path."},
      {good, good, "Can not create the output file ,please check the output file 's path."},
      {good, dir_.path().string() + "/" + std::string(300, 'n') + ".avi",
       "Can not create the output file ,please check the output file 's path."},
      {good, root ? std::string() : dir_.file("locked/d.avi"),
       "Can not create the output file ,please check the output file 's path."},
  };
  for (const Case& c : cases) {
    if (c.output.empty() && c.message != "Must set the output file name.") continue;
    SCOPED_TRACE(c.source + " -> " + c.output);
    auto job = make_job();
    ASSERT_TRUE(job);
    AviSink sink;
    job->SetSink(&sink);
    job->SetDialogParent(corvexa::headless_dialog_parent());
    job->SetSourceFile(c.source.c_str());
    job->SetOutputFile(c.output.c_str());
    job->Start();
    ASSERT_EQ(sink.errors.size(), 1u);  // reported by Start itself
    EXPECT_EQ(sink.errors[0], c.message);
    EXPECT_TRUE(sink.completions.empty());
  }
  // Nothing written anywhere, and the source used as output is intact.
  EXPECT_EQ(folder_files(dir_.path().string()),
            (std::vector<std::string>{"locked", "notes.wmv", "undecodable.avi"}));
  EXPECT_FALSE(probe(good).empty());
  std::filesystem::permissions(dir_.file("locked"), std::filesystem::perms::owner_all);
}

TEST_F(MediaToAviTest, RangeSetBeforeStartIsConverted) {
  const std::string path = media_test::ffmpeg_fixture(
      "four_seconds.mkv",
      "-f lavfi -i testsrc=size=64x48:rate=25:duration=4 -f lavfi -i sine=f=440:r=44100:d=4 "
      "-c:v ffv1 -c:a flac");
  AviSink sink;
  const std::string output = dir_.file("range.avi");
  auto job = ready_job(sink, path, output);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->GetDuration(), 4);
  job->SetStartTime(1);
  job->SetStopTime(3);
  job->Start();
  ASSERT_TRUE(sink.wait_for_end());
  job.reset();
  ASSERT_EQ(sink.completions.size(), 1u);
  const auto streams = probe(output);
  ASSERT_NE(find_stream(streams, "video"), nullptr);
  EXPECT_EQ(find_stream(streams, "video")->packets, 50);
  EXPECT_NEAR(find_stream(streams, "audio")->duration, 2.0, 0.06);
  // The first picture is the one the whole conversion has at 1 s.
  auto whole_job = make_job();
  AviSink whole_sink;
  const std::string whole = dir_.file("whole.avi");
  convert(*whole_job, whole_sink, path, whole);
  whole_job.reset();
  ASSERT_EQ(whole_sink.completions.size(), 1u);
  auto frame_sum = [](const std::string& file, int n) {
    return media_test::command_output("ffmpeg -v error -i '" + file +
                                      "' -vf 'select=eq(n\\," + std::to_string(n) +
                                      ")' -frames:v 1 -f rawvideo - | md5sum");
  };
  EXPECT_EQ(frame_sum(output, 0), frame_sum(whole, 25));
  EXPECT_NE(frame_sum(output, 0), frame_sum(whole, 0));
}

TEST_F(MediaToAviTest, StopRemovesTheUnfinishedFileAndCallsNothing) {
  const std::string path = media_test::ffmpeg_fixture(
      "long.mkv",
      "-f lavfi -i testsrc=size=320x240:rate=25:duration=60 -f lavfi -i sine=f=440:r=44100:d=60 "
      "-c:v mpeg4 -q:v 10 -c:a flac");
  ASSERT_FALSE(path.empty());
  // An earlier file of the output's name survives a stopped run.
  const std::string output = dir_.file("stopped.avi");
  ASSERT_TRUE(media_test::write_text_file(output, "earlier\n"));
  AviSink sink;
  auto job = ready_job(sink, path, output);
  ASSERT_TRUE(job);
  job->Start();
  ASSERT_TRUE(sink.errors.empty());
  job->Stop();
  job.reset();  // waits for the worker
  EXPECT_EQ(sink.ends(), 0);
  EXPECT_EQ(folder_files(dir_.path().string()), (std::vector<std::string>{"stopped.avi"}));
  EXPECT_EQ(media_test::command_output("cat '" + output + "'"), "earlier\n");
}

TEST_F(MediaToAviTest, ASecondStartBeginsCleanAndReplacesTheOutput) {
  const std::string path = media_test::ffmpeg_fixture(kSources[5].name, kSources[5].args);
  auto job = make_job();
  ASSERT_TRUE(job);
  AviSink first, second;
  const std::string output = dir_.file("twice.avi");
  convert(*job, first, path, output);
  ASSERT_EQ(first.completions.size(), 1u);
  ASSERT_TRUE(job->SetSink(&second));
  EXPECT_FALSE(job->SetSink(nullptr));  // refused, the sink kept
  job->Start();
  ASSERT_TRUE(second.wait_for_end());
  job.reset();
  EXPECT_EQ(second.completions.size(), 1u);
  EXPECT_EQ(first.completions.size(), 1u);
  EXPECT_EQ(folder_files(dir_.path().string()), (std::vector<std::string>{"twice.avi"}));
  const auto streams = probe(output);
  const ProbedStream* audio = find_stream(streams, "audio");
  ASSERT_NE(audio, nullptr);
  EXPECT_NEAR(audio->duration, 2.0, sound_slack(*audio));
}

TEST_F(MediaToAviTest, PreviewSurfaceSeesThePictures) {
  struct Surface final : corvexa::PreviewSurface {
    bool IsVisible() override { return true; }
    void Present(const std::uint8_t* pixels, std::int32_t w, std::int32_t h) override {
      if (pixels != nullptr && w == 160 && h == 120) ++shown;
    }
    std::atomic<int> shown{0};
  } surface;
  const std::string path = media_test::ffmpeg_fixture(kSources[0].name, kSources[0].args);
  auto job = make_job();
  ASSERT_TRUE(job);
  job->SetPreviewWindow(&surface);
  AviSink sink;
  convert(*job, sink, path, dir_.file("preview.avi"));
  job.reset();
  ASSERT_EQ(sink.completions.size(), 1u);
  EXPECT_EQ(surface.shown, find_stream(probe(dir_.file("preview.avi")), "video")->packets);
}

TEST_F(MediaToAviTest, SharedClipsConvertWithTheDivxPreset) {
  const std::vector<std::string> extensions = {".avi", ".mpg", ".mov", ".mp4", ".wmv", ".webm"};
  int converted = 0;
  for (const std::string& extension : extensions) {
    for (const std::string& clip : kavrol_test::media_clips(extension)) {
      SCOPED_TRACE(clip);
      auto job = make_job();
      ASSERT_TRUE(job);
      ASSERT_TRUE(job->SetCompressorPreset(corvexa::kPresetDivx));
      AviSink sink;
      job->SetSink(&sink);
      job->SetDialogParent(corvexa::headless_dialog_parent());
      ASSERT_TRUE(job->SetSourceFile(clip.c_str()));
      job->SetStopTime(1);
      const double seconds = std::min(1.0, container_seconds(clip));
      const std::string output = dir_.file("clip.avi");
      std::filesystem::remove(output);
      job->SetOutputFile(output.c_str());
      job->Start();
      ASSERT_TRUE(sink.wait_for_end());
      job.reset();
      ASSERT_EQ(sink.completions.size(), 1u) << (sink.errors.empty() ? "" : sink.errors[0]);
      std::string warnings;
      const auto streams = probe(output, &warnings);
      EXPECT_EQ(warnings, "");
      ASSERT_FALSE(streams.empty());
      for (const auto& s : streams) {
        EXPECT_GE(s.duration, seconds - 0.1) << s.codec;
        EXPECT_LE(s.duration, seconds + (s.type == "audio" ? sound_slack(s) : 0.1)) << s.codec;
      }
      ++converted;
    }
  }
  if (converted == 0) GTEST_SKIP() << "the shared media are absent";
}

}  // namespace
