// The information report, through MEDIAPLAYDLL's information slots: the AVI
// description for files our AVI services open, the media description for the
// rest, and kavrol-cli info.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clip_reports.h"
#include "core/factory.h"
#include "core/kinds.h"
#include "corvexa/media_player.h"
#include "media_fixtures.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace {

using namespace corvexa;
using media_test::ffmpeg_fixture;
using media_test::kTestPicture;
using media_test::kTestTone;

using PlayerHandle = media_test::Owned<MediaPlayer>;

PlayerHandle make_player() { return media_test::make_object<MediaPlayer>(core::construct_mediaplaydll); }

std::string lf(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}

// Every line ends in CR LF, and no lone LF or CR is left.
bool crlf_only(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) return false;
  }
  return !text.empty() && text.back() == '\n';
}

// --- Report A, on AVIs from our writer ---------------------------------------

struct AviCase {
  const char* name;
  std::uint32_t rate, scale;
  int frames;
  bool video;
  std::uint32_t compression;  // fourcc; 0 for raw 24-bit
  std::uint16_t audio_tag;    // 0: no sound
  const char* expected;
};

constexpr std::uint32_t kUndecodable = make_fourcc('Z', 'Z', 'Z', 'Z');

const AviCase kAviCases[] = {
    {"video only, 250 frames at 25/1", 25, 1, 250, true, 0, 0,
     "File Type:AVI\r\n\r\nVideo Info:\r\n\tStream Name:\r\n\tfccHandler:    \r\n"
     "\tWidth:32\r\n\tHeight:24\r\n\tFrame Rate:25.000\r\n\tTotal Frame:250\r\n"
     "\tTotal Time:0:00:10\r\n\tColor Depth:24\r\n\r\nAudio Info:\r\n\tNo Audio\r\n"},
    {"44.1 kHz stereo PCM", 25, 1, 5, true, 0, kWaveFormatPcm,
     "File Type:AVI\r\n\r\nVideo Info:\r\n\tStream Name:\r\n\tfccHandler:    \r\n"
     "\tWidth:32\r\n\tHeight:24\r\n\tFrame Rate:25.000\r\n\tTotal Frame:5\r\n"
     "\tTotal Time:0:00:00\r\n\tColor Depth:24\r\n\r\nAudio Info:\r\n\tAudio Format:PCM\r\n"
     "\tSample Rate:44.100KHz\r\n\tBit Rate:176.400Kb/s\r\n\tChannel:2\r\n\r\n"},
    {"sound only", 25, 1, 0, false, 0, kWaveFormatPcm,
     "File Type:AVI\r\n\r\nVideo Info:\r\n\tNo Video\r\n\r\nAudio Info:\r\n\tAudio Format:PCM\r\n"
     "\tSample Rate:44.100KHz\r\n\tBit Rate:176.400Kb/s\r\n\tChannel:2\r\n\r\n"},
    {"a sound format without a name", 30000, 1001, 3, true, 0, 0x2000,
     "File Type:AVI\r\n\r\nVideo Info:\r\n\tStream Name:\r\n\tfccHandler:    \r\n"
     "\tWidth:32\r\n\tHeight:24\r\n\tFrame Rate:29.970\r\n\tTotal Frame:3\r\n"
     "\tTotal Time:0:00:00\r\n\tColor Depth:24\r\n\r\nAudio Info:\r\n"
     "\tAudio Format Handle:8192\r\n\tSample Rate:44.100KHz\r\n\tBit Rate:176.400Kb/s\r\n"
     "\tChannel:2\r\n\r\n"},
    // A header with scale 0 or rate 0 has no frame rate to divide by: the
    // lines that need it are left out, the others stand.
    {"scale 0", 25, 0, 4, true, 0, 0,
     "File Type:AVI\r\n\r\nVideo Info:\r\n\tStream Name:\r\n\tfccHandler:    \r\n"
     "\tWidth:32\r\n\tHeight:24\r\n\tTotal Frame:4\r\n\tColor Depth:24\r\n\r\n"
     "Audio Info:\r\n\tNo Audio\r\n"},
    {"rate 0", 0, 1, 4, true, 0, 0,
     "File Type:AVI\r\n\r\nVideo Info:\r\n\tStream Name:\r\n\tfccHandler:    \r\n"
     "\tWidth:32\r\n\tHeight:24\r\n\tFrame Rate:0.000\r\n\tTotal Frame:4\r\n\tColor Depth:24\r\n\r\n"
     "Audio Info:\r\n\tNo Audio\r\n"},
    // Frames nothing decodes: still the AVI description, without a depth.
    {"undecodable video", 25, 1, 3, true, kUndecodable, kWaveFormatMpegLayer3,
     "File Type:AVI\r\n\r\nVideo Info:\r\n\tStream Name:\r\n\tfccHandler:ZZZZ\r\n"
     "\tWidth:32\r\n\tHeight:24\r\n\tFrame Rate:25.000\r\n\tTotal Frame:3\r\n"
     "\tTotal Time:0:00:00\r\n\r\nAudio Info:\r\n\tAudio Format:Mpeg Layer 3\r\n"
     "\tSample Rate:44.100KHz\r\n\tBit Rate:176.400Kb/s\r\n\tChannel:2\r\n\r\n"},
};

std::string write_avi(const kavrol_test::TempDir& dir, const AviCase& c) {
  kavrol_test::AviWriter writer;
  int v = -1, a = -1;
  if (c.video) {
    kavrol_test::AviVideoFormat video;
    video.width = 32;
    video.height = 24;
    video.rate = c.rate;
    video.scale = c.scale;
    video.compression = c.compression;
    video.handler = c.compression;
    v = writer.add_video(video);
  }
  if (c.audio_tag != 0) {
    kavrol_test::AviAudioFormat audio;
    audio.format = kavrol_test::pcm_format(2, 44100, 16);
    audio.format.format_tag = c.audio_tag;
    a = writer.add_audio(audio);
  }
  const int frames = c.video ? c.frames : 5;
  for (int f = 0; f < frames; ++f) {
    if (v >= 0)
      writer.add_chunk(v, c.compression == 0 ? kavrol_test::test_picture_bgr24(32, 24, f)
                                             : std::vector<std::uint8_t>(200, 0x5A));
    if (a >= 0) writer.add_chunk(a, kavrol_test::tone_pcm16(44100, 2, 1764, 440.0, f * 1764));
  }
  const std::string path = dir.file("case.avi");
  EXPECT_TRUE(writer.write(path));
  return path;
}

TEST(AviReport, TextsOfGeneratedFiles) {
  for (const AviCase& c : kAviCases) {
    SCOPED_TRACE(c.name);
    kavrol_test::TempDir dir;
    const std::string path = write_avi(dir, c);
    PlayerHandle player = make_player();
    ASSERT_TRUE(player);
    ASSERT_TRUE(player->OpenInfo(path.c_str()));
    EXPECT_EQ(std::string(player->InfoText()), c.expected);
    EXPECT_EQ(player->InfoWidth(), c.video ? 32 : 0);
    EXPECT_EQ(player->InfoHeight(), c.video ? 24 : 0);
    EXPECT_EQ(player->InfoFrameCount(), c.video ? c.frames : 0);
  }
}

TEST(AviReport, SecondsAndFramesOfTheFile) {
  const std::string path = media_test::raw_avi_fixture("ten_seconds.avi", 250, false);
  PlayerHandle player = make_player();
  ASSERT_TRUE(player->OpenInfo(path.c_str()));
  EXPECT_EQ(player->InfoSeconds(), 10);
  EXPECT_EQ(player->InfoFrameCount(), 250);
  player->CloseInfo();
  EXPECT_EQ(player->InfoFrameCount(), 0);
  EXPECT_EQ(player->InfoWidth(), 0);
  EXPECT_STREQ(player->InfoText(), "");
}

// --- Report B, on files from the ffmpeg tool ------------------------------------

struct MediaCase {
  const char* file;
  std::string args;
  const char* expected;
};

constexpr const char* kPictureLines =
    "\tWidth:160\r\n\tHeight:120\r\n\tTotalFrame:50\r\n\tTotalTime:0:00:02\r\n\tColor Depth:32\r\n";
constexpr const char* kToneLines =
    "\tSample Rate:44.100Khz\r\n\tBit Rate:176.400Kb/s\r\n\tChannels:2\r\n";

std::vector<MediaCase> media_cases() {
  const std::string both = std::string(kTestPicture) + " " + kTestTone + " -ac 2 ";
  const std::string tone = std::string(kTestTone) + " -ac 2 ";
  const std::string av = std::string("Video Info:\r\n") + kPictureLines + "\r\nAudio Info:\r\n" + kToneLines;
  const std::string a = std::string("Video Info:\r\n\r\nAudio Info:\r\n") + kToneLines;
  static std::vector<std::string> texts = {
      "File type:Mpeg\r\n\r\n" + av,
      "File type:Mpeg2\r\n\r\n" + av,
      std::string("File type:Asf(WMV)\r\n\r\nVideo Info:\r\n") +
          "\tWidth:160\r\n\tHeight:120\r\n\tTotalFrame:52\r\n\tTotalTime:0:00:02\r\n\tColor Depth:32\r\n" +
          "\r\nAudio Info:\r\n" + kToneLines,
      "File type:Mpeg Audio(Mp3)\r\n\r\n" + a,
      "File type:Mpeg2 Audio\r\n\r\nVideo Info:\r\n\r\nAudio Info:\r\n"
      "\tSample Rate:22.050Khz\r\n\tBit Rate:44.100Kb/s\r\n\tChannels:1\r\n",
      "File type:Wave\r\n\r\n" + a,
      "File type:Dolby ac3\r\n\r\n" + a,
      "File type:Unknown\r\n\r\n" + av,
      "File type:Mpeg Video\r\n\r\nVideo Info:\r\n\tWidth:160\r\n\tHeight:120\r\n"
      "\tTotalFrame:Unknown\r\n\tTotalTime:Unknown\r\n\tColor Depth:32\r\n\r\nAudio Info:\r\n",
  };
  return {
      {"system.mpg", both + "-c:v mpeg1video -c:a mp2 -f mpeg", texts[0].c_str()},
      {"program.mpg", both + "-c:v mpeg2video -c:a mp2 -f vob", texts[1].c_str()},
      {"clip.wmv", both + "-c:v wmv2 -c:a wmav2", texts[2].c_str()},
      {"tone.mp3", tone + "-c:a libmp3lame", texts[3].c_str()},
      {"half_rate.mp2", "-f lavfi -i sine=sample_rate=22050:duration=2 -c:a mp2", texts[4].c_str()},
      {"tone.wav", tone + "-c:a pcm_s16le", texts[5].c_str()},
      {"tone.ac3", tone + "-c:a ac3", texts[6].c_str()},
      {"clip.mov", both + "-c:v mpeg4 -c:a aac", texts[7].c_str()},
      {"pictures.m1v", std::string(kTestPicture) + " -c:v mpeg1video -f mpeg1video", texts[8].c_str()},
  };
}

TEST(MediaReport, TextsOfFilesFfmpegMakes) {
  for (const MediaCase& c : media_cases()) {
    SCOPED_TRACE(c.file);
    const std::string path = ffmpeg_fixture(c.file, c.args);
    if (path.empty()) {
      ADD_FAILURE() << "ffmpeg could not make " << c.file;
      continue;
    }
    PlayerHandle player = make_player();
    ASSERT_TRUE(player->OpenInfo(path.c_str()));
    EXPECT_EQ(std::string(player->InfoText()), c.expected);
  }
}

TEST(MediaReport, WhatThePreviewKeeps) {
  const std::string path = ffmpeg_fixture(
      "system.mpg", std::string(kTestPicture) + " " + kTestTone + " -ac 2 -c:v mpeg1video -c:a mp2 -f mpeg");
  ASSERT_FALSE(path.empty());
  PlayerHandle player = make_player();
  ASSERT_TRUE(player->OpenInfo(path.c_str()));
  EXPECT_EQ(player->InfoSeconds(), 2);
  EXPECT_EQ(player->InfoFrameCount(), 50);
  EXPECT_EQ(player->InfoWidth(), 160);
  EXPECT_EQ(player->InfoHeight(), 120);
}

TEST(MediaReport, NotAMediaFileIsTheWholeText) {
  kavrol_test::TempDir dir;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"notes.txt", "Some words, not a picture.\n"},
      {"noise.avi", std::string(3000, '\x5A')},
      {"empty.mpg", ""},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const std::string path = dir.file(name);
    ASSERT_TRUE(media_test::write_text_file(path, bytes));
    PlayerHandle player = make_player();
    EXPECT_FALSE(player->OpenInfo(path.c_str()));
    EXPECT_EQ(std::string(player->InfoText()), path + " is not a media file\r\n");
    EXPECT_EQ(player->InfoFrameCount(), 0);
  }
  PlayerHandle player = make_player();
  const std::string missing = dir.file("missing.wmv");
  EXPECT_FALSE(player->OpenInfo(missing.c_str()));
  EXPECT_EQ(std::string(player->InfoText()), missing + " is not a media file\r\n");
}

// An AVI the AVI services read is always described by them, even when its
// video does not decode; an MPEG file named .avi is described by the media
// layer.
TEST(MediaReport, WhichDescriptionAnswers) {
  kavrol_test::TempDir dir;
  const std::string undecodable = write_avi(dir, kAviCases[6]);
  PlayerHandle player = make_player();
  ASSERT_TRUE(player->OpenInfo(undecodable.c_str()));
  EXPECT_EQ(std::string(player->InfoText()).rfind("File Type:AVI\r\n", 0), 0u);

  const std::string misnamed = ffmpeg_fixture(
      "mpeg_named.avi", std::string(kTestPicture) + " -c:v mpeg1video -f mpeg");
  ASSERT_FALSE(misnamed.empty());
  ASSERT_TRUE(player->OpenInfo(misnamed.c_str()));
  EXPECT_EQ(std::string(player->InfoText()).rfind("File type:Mpeg\r\n", 0), 0u);
}

// Paths longer than the engine takes are refused, never cut into the name of
// another file (here: the first 259 characters name a real file).
TEST(MediaReport, OverlongPathsAreRefused) {
  kavrol_test::TempDir dir;
  std::string name = dir.path().string() + "/";
  name.append(259 - name.size(), 'a');
  ASSERT_EQ(name.size(), 259u);
  std::filesystem::copy_file(media_test::raw_avi_fixture("short.avi", 3, false), name);
  PlayerHandle player = make_player();
  EXPECT_TRUE(player->OpenInfo(name.c_str())) << "259 characters still fit";
  const std::string longer = name + "b";
  EXPECT_FALSE(player->OpenInfo(longer.c_str()));
  EXPECT_FALSE(player->PlayerOpen(longer.c_str()));
  EXPECT_FALSE(player->OpenInfo(nullptr));
  EXPECT_FALSE(player->OpenInfo(""));
}

TEST(MediaReport, SharedClips) {
  int seen = 0;
  for (const media_test::ClipReport& c : media_test::kClipReports) {
    const std::string path = kavrol_test::media_clip(c.clip);
    if (path.empty()) continue;
    SCOPED_TRACE(c.clip);
    ++seen;
    PlayerHandle player = make_player();
    ASSERT_TRUE(player->OpenInfo(path.c_str()));
    const std::string text = player->InfoText();
    EXPECT_TRUE(crlf_only(text));
    EXPECT_EQ(lf(text), c.text);
  }
  if (seen == 0) GTEST_SKIP() << "the shared clips are not present";
}

TEST(InfoCommand, PrintsReportsAndFailsForNonMedia) {
  const std::string cli = std::string(KAVROL_BIN_DIR) + "/kavrol-cli";
  const std::string wav = ffmpeg_fixture("tone.wav", std::string(kTestTone) + " -ac 2 -c:a pcm_s16le");
  ASSERT_FALSE(wav.empty());
  int status = -1;
  std::string out = media_test::command_output(cli + " info '" + wav + "'", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "File type:Wave\n\nVideo Info:\n\nAudio Info:\n\tSample Rate:44.100Khz\n"
                 "\tBit Rate:176.400Kb/s\n\tChannels:2\n");
  out = media_test::command_output(cli + " info --crlf '" + wav + "'", &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(crlf_only(out));

  kavrol_test::TempDir dir;
  const std::string text = dir.file("readme.txt");
  ASSERT_TRUE(media_test::write_text_file(text, "hello\n"));
  out = media_test::command_output(cli + " info '" + wav + "' '" + text + "'", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("==> " + wav + " <==\nFile type:Wave\n"), std::string::npos);
  EXPECT_NE(out.find(text + " is not a media file\n"), std::string::npos);
  media_test::command_output(cli + " info 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
