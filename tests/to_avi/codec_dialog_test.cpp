// The codec dialog, shown offscreen: its controls as the set-up leaves them,
// the selections it applies to the job, and cancel and OK through Start.
#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "media/codec_dialog_widgets.h"
#include "support/temp_dir.h"
#include "to_avi_fixtures.h"

// Fontconfig, under Qt's font database, keeps a cache it never frees.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

using namespace corvexa::media;

class CodecDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test_codec_dialog";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) app_ = new QApplication(argc, argv);
  }
  static QApplication* app_;
};
QApplication* CodecDialogTest::app_ = nullptr;

// A host that records what the dialog applies.
struct FakeHost final : CodecDialogHost {
  CodecDialogState dialog_setup() override {
    return codec_dialog_setup({"MPEG Layer-3 (libmp3lame)", "PCM (pcm_s16le)"},
                              {"Uncompressed RGB (rawvideo)", "DivX-compatible MPEG-4 (mpeg4)"},
                              has_audio, has_video, preset);
  }
  bool select_audio(int data) override {
    audio.push_back(data);
    return data >= 0;
  }
  bool select_video(int data) override {
    video.push_back(data);
    return data >= 0;
  }
  // Only the MPEG-4 entry has settings.
  bool video_has_config() override { return !video.empty() && video.back() == 1; }
  bool configure_video(void*) override { return ++configured, true; }
  void show_mux_properties(void*) override { ++mux_shown; }

  bool has_audio = true, has_video = true;
  int preset = corvexa::kPresetDivx;
  std::vector<int> audio, video;
  int configured = 0, mux_shown = 0;
};

template <class Widget>
Widget* control(QDialog& dialog, int id) {
  return dialog.findChild<Widget*>(QString::number(id));
}

QStringList texts(QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

TEST_F(CodecDialogTest, ControlsAsTheSetupLeavesThem) {
  FakeHost host;
  auto dialog = make_codec_dialog(host, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "Select Compression Codecs");
  auto* video = control<QListWidget>(*dialog, kVideoListId);
  auto* audio = control<QListWidget>(*dialog, kAudioListId);
  ASSERT_TRUE(video && audio);
  EXPECT_EQ(texts(video), (QStringList{"<<No Compression>>", "DivX-compatible MPEG-4 (mpeg4)",
                                      "Uncompressed RGB (rawvideo)"}));
  EXPECT_EQ(video->currentItem()->text(), "DivX-compatible MPEG-4 (mpeg4)");
  EXPECT_EQ(audio->currentItem()->text(), "MPEG Layer-3 (libmp3lame)");
  EXPECT_EQ(audio->item(0)->data(Qt::UserRole).toInt(), -1);
  // The set-up's choices reached the host, and the MPEG-4 entry has settings.
  EXPECT_EQ(host.audio, std::vector<int>{0});
  EXPECT_EQ(host.video, std::vector<int>{1});
  EXPECT_TRUE(control<QPushButton>(*dialog, kVideoConfigId)->isEnabled());
  EXPECT_FALSE(control<QPushButton>(*dialog, kAudioConfigId)->isEnabled());
  for (int id : {kMuxConfigId, kCancelId, kOkId}) ASSERT_NE(control<QPushButton>(*dialog, id), nullptr);
  EXPECT_TRUE(control<QPushButton>(*dialog, kOkId)->isDefault());
  EXPECT_EQ(control<QPushButton>(*dialog, kMuxConfigId)->text(), "Confi&gAVI");

  // The user's changes go to the host; the settings button follows.
  video->setCurrentRow(2);  // rawvideo, index 0
  EXPECT_EQ(host.video.back(), 0);
  EXPECT_FALSE(control<QPushButton>(*dialog, kVideoConfigId)->isEnabled());
  audio->setCurrentRow(0);
  EXPECT_EQ(host.audio.back(), -1);
  control<QPushButton>(*dialog, kMuxConfigId)->click();
  EXPECT_EQ(host.mux_shown, 1);
}

TEST_F(CodecDialogTest, StreamsMissingDisableTheirLists) {
  FakeHost host;
  host.has_video = false;
  auto dialog = make_codec_dialog(host, nullptr);
  EXPECT_FALSE(control<QListWidget>(*dialog, kVideoListId)->isEnabled());
  EXPECT_FALSE(control<QPushButton>(*dialog, kVideoConfigId)->isEnabled());
  EXPECT_EQ(host.video, std::vector<int>{-1});
  FakeHost none;
  none.has_audio = none.has_video = false;
  auto empty = make_codec_dialog(none, nullptr);
  EXPECT_FALSE(control<QListWidget>(*empty, kAudioListId)->isEnabled());
  EXPECT_EQ(none.audio, std::vector<int>{-1});
}

// Clicks the button `id` of the codec dialog once it is shown.
void click_when_shown(int id) {
  QTimer::singleShot(0, [id] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QDialog*>(w);
      if (dialog != nullptr && dialog->isVisible() &&
          dialog->windowTitle() == "Select Compression Codecs") {
        control<QPushButton>(*dialog, id)->click();
        return;
      }
    }
    click_when_shown(id);
  });
}

TEST_F(CodecDialogTest, CancelReleasesTheStartAndOkRunsIt) {
  ASSERT_TRUE(dialogs_available());
  const std::string source = media_test::ffmpeg_fixture(
      "dialog_source.mkv",
      std::string(media_test::kTestPicture) + " " + media_test::kTestTone + " -c:v mpeg4 -c:a flac");
  kavrol_test::TempDir dir;
  auto job = to_avi_test::make_job();
  ASSERT_TRUE(job);
  to_avi_test::AviSink sink;
  job->SetSink(&sink);
  ASSERT_TRUE(job->SetSourceFile(source.c_str()));
  ASSERT_TRUE(job->SetCompressorPreset(corvexa::kPresetDivx));
  const std::string output = dir.file("dialog.avi");
  job->SetOutputFile(output.c_str());

  click_when_shown(kCancelId);
  job->Start();  // returns once the dialog is closed
  EXPECT_EQ(sink.cancels.size(), 1u);
  EXPECT_TRUE(sink.errors.empty());
  EXPECT_TRUE(to_avi_test::folder_files(dir.path().string()).empty());

  to_avi_test::AviSink run_sink;
  job->SetSink(&run_sink);
  click_when_shown(kOkId);
  job->Start();
  ASSERT_TRUE(run_sink.wait_for_end());
  ASSERT_EQ(run_sink.completions.size(), 1u) << (run_sink.errors.empty() ? "" : run_sink.errors[0]);
  job.reset();
  const auto streams = to_avi_test::probe(output);
  ASSERT_NE(to_avi_test::find_stream(streams, "video"), nullptr);
  EXPECT_EQ(to_avi_test::find_stream(streams, "video")->codec, "mpeg4");
  EXPECT_TRUE(run_sink.cancels.empty());
}

}  // namespace

namespace {

// Sets the spin box `name` of the dialog titled `title` once it is shown,
// then accepts that dialog.
void set_when_shown(const QString& title, const char* name, int value) {
  QTimer::singleShot(0, [=] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QDialog*>(w);
      if (dialog != nullptr && dialog->isVisible() && dialog->windowTitle() == title) {
        dialog->findChild<QSpinBox*>(name)->setValue(value);
        dialog->accept();
        return;
      }
    }
    set_when_shown(title, name, value);
  });
}

TEST_F(CodecDialogTest, CompressorSettingsReachTheEncoder) {
  const std::string source = media_test::ffmpeg_fixture(
      "dialog_source.mkv",
      std::string(media_test::kTestPicture) + " " + media_test::kTestTone + " -c:v mpeg4 -c:a flac");
  kavrol_test::TempDir dir;
  auto job = to_avi_test::make_job();
  ASSERT_TRUE(job);
  const int mpeg4 = to_avi_test::find_video(*job, "(mpeg4)");
  ASSERT_GE(mpeg4, 0);
  ASSERT_TRUE(job->SelectVideoCompressor(mpeg4));
  ASSERT_TRUE(job->VideoCompressorHasConfig());
  set_when_shown("DivX-compatible MPEG-4 (mpeg4)", "key_frame_interval", 7);
  EXPECT_TRUE(job->ConfigureVideoCompressor(nullptr));
  to_avi_test::AviSink sink;
  job->SetSink(&sink);
  job->SetDialogParent(corvexa::headless_dialog_parent());  // keeps the choice made above
  ASSERT_TRUE(job->SetSourceFile(source.c_str()));
  const std::string output = dir.file("settings.avi");
  job->SetOutputFile(output.c_str());
  job->Start();
  ASSERT_TRUE(sink.wait_for_end());
  job.reset();
  ASSERT_EQ(sink.completions.size(), 1u);
  const std::string flags = media_test::command_output(
      "ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 '" + output + "'");
  // 50 frames, a key frame every 7: frames 0, 7, ... 49.
  EXPECT_EQ(std::count(flags.begin(), flags.end(), 'K'), 8) << flags;
}

}  // namespace
