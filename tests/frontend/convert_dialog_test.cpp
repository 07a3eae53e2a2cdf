// The conversion dialog driven as a user drives it: commands, typed or
// dropped inputs, clicks on Convert, Stop and Close, through to real
// conversions by the engine (and the QuickTime route against a job that
// reports to order). Message boxes are recorded instead of shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <QCheckBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "controls/transparent_button.h"
#include "conversion_commands.h"
#include "convert_dialog.h"
#include "engine_binding.h"
#include "frontend_fixture.h"
#include "job_events.h"
#include "output_naming.h"
#include "preview_window.h"
#include "recent_folders.h"
#include "time_left.h"

namespace fs = std::filesystem;

namespace {

const fs::path kBin = KAVROL_BIN_DIR;
const fs::path kFakes = KAVROL_FAKE_LIBRARY_DIR;
constexpr int kRunTimeoutMs = 120000;  // a stuck run fails instead of hanging

const kavrol::ConversionCommand& command(const QString& title) {
  for (const kavrol::ConversionCommand& c : kavrol::conversion_commands()) {
    if (c.title == title) return c;
  }
  throw std::runtime_error("no such command");
}

// Media fixtures made by the ffmpeg tool, once per test program.
class Fixtures {
 public:
  static const Fixtures& get() {
    static Fixtures fixtures;
    return fixtures;
  }
  // `name` made with `ffmpeg ARGS name`; empty when ffmpeg cannot make it.
  QString make(const std::string& name, const std::string& args) const {
    const fs::path path = dir_.path() / name;
    if (!fs::exists(path)) {
      const std::string line = "ffmpeg -v error -y " + args + " '" + path.string() + "'";
      if (std::system(line.c_str()) != 0 || !fs::exists(path)) return QString();
    }
    return QString::fromStdString(path.string());
  }
  // A short AVI with sound: 352 x 288 at 25 fps, MPEG-4 Part 2 and PCM.
  QString avi(const std::string& name = "clip.avi", double seconds = 0.6) const {
    return make(name, "-f lavfi -i testsrc=size=352x288:rate=25 -f lavfi -i "
                      "sine=frequency=440:sample_rate=44100 -t " + std::to_string(seconds) +
                      " -c:v mpeg4 -q:v 4 -c:a pcm_s16le");
  }
  QString wmv() const {
    return make("clip.wmv", "-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i "
                            "sine=frequency=440:sample_rate=44100 -t 0.6 -c:v wmv2 -c:a wmav2");
  }
  QString mov() const {
    return make("clip.mov", "-f lavfi -i testsrc=size=160x120:rate=25 -t 0.6 -c:v mpeg4");
  }
  // An empty file of that name (for the route and naming rules).
  QString touch(const std::string& name) const {
    const fs::path path = dir_.path() / name;
    std::ofstream(path).put('x');
    return QString::fromStdString(path.string());
  }
  QString folder() const { return QString::fromStdString(dir_.path().string()); }

 private:
  kavrol_test::TempDir dir_;
};

std::string head_of(const QString& path, std::size_t n) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::string bytes(n, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(n));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

// Answers the next modal window other than `except` (the codec dialog of a
// media-to-AVI start): accepts it or cancels it, and records its title.
class ModalAnswer {
 public:
  ModalAnswer(QWidget* except, bool accept) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this, except, accept] {
      auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (modal == nullptr || modal == except) return;
      title = modal->windowTitle();
      timer_.stop();
      if (accept) modal->accept(); else modal->reject();
    });
    timer_.start();
  }
  QString title;

 private:
  QTimer timer_;
};

class ConvertDialog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    real_ = new kavrol::EngineBinding;
    real_bound_ = real_->bind(kBin.string());
    fake_ = new kavrol::EngineBinding;
    fake_bound_ = fake_->bind((kFakes / "quicktime").string());
  }
  static void TearDownTestSuite() {
    // The libraries stay loaded; only the factories' holders go.
    delete real_;
    delete fake_;
  }

  // The dialog over `binding`, after `title`'s command, opened and animated.
  void open(const QString& title, kavrol::EngineBinding* binding) {
    ASSERT_TRUE(binding == real_ ? real_bound_ : fake_bound_) << binding->error();
    dialog_ = std::make_unique<kavrol::TfrmConvert>(binding);
    dialog_->setPreview(&preview_);
    reopen(title);
  }
  void reopen(const QString& title) {
    dialog_->applyCommand(command(title));
    dialog_->move(300, 400);
    dialog_->show();
    QTRY_VERIFY(dialog_->previewCheckBox()->isChecked());
  }
  void type_input(const QString& path) {
    dialog_->inputEdit()->clear();
    QTest::keyClicks(dialog_->inputEdit(), path);
  }
  void click_convert() { QTest::mouseClick(dialog_->convertButton(), Qt::LeftButton); }
  // Waits for the run to end with a message box.
  bool wait_for_message(std::size_t count = 1) {
    return QTest::qWaitFor(
        [&] { return desktop_.messages.size() >= static_cast<qsizetype>(count); }, kRunTimeoutMs);
  }
  void TearDown() override {
    if (dialog_ != nullptr && dialog_->ConvertState == kavrol::TfrmConvert::kConverting) {
      kavrol::set_question_handler([](const QString&, const QString&) { return true; });
      dialog_->closeClicked();
      kavrol::set_question_handler({});
    }
    dialog_.reset();
    preview_.close();
  }

  static kavrol::EngineBinding* real_;
  static kavrol::EngineBinding* fake_;
  static bool real_bound_, fake_bound_;
  kavrol_test::DesktopRecorder desktop_;
  kavrol::TfrmPreview preview_;
  std::unique_ptr<kavrol::TfrmConvert> dialog_;
};

kavrol::EngineBinding* ConvertDialog::real_ = nullptr;
kavrol::EngineBinding* ConvertDialog::fake_ = nullptr;
bool ConvertDialog::real_bound_ = false;
bool ConvertDialog::fake_bound_ = false;

// --- Rules without a window -------------------------------------------------

TEST(OutputNaming, FollowsTitleRouteStateAndExistence) {
  struct Case {
    const char* title;
    int mode;
    bool route;
    int state;
    const char* input;
    bool exists;
    bool route_after;
    const char* output;  // null: the output edit is left alone
  };
  const Case cases[] = {
      {"AVI to MPG1", 0, false, 0, "/v/clip.avi", true, false, "/v/clip.avi.mpg"},
      {"AVI to DVD", 4, false, 2, "/v/clip.AVI", true, false, "/v/clip.AVI.mpg"},
      {"AVI to MPG1", 0, false, 0, "/v/clip.avi", false, false, nullptr},  // no such file
      {"ALL to DivX", 101, false, 0, "/v/clip.wmv", true, false, "/v/clip.wmv.avi"},
      {"ALL to DivX", 101, false, 0, "/v/clip.mov", true, false, "/v/clip.mov.avi"},
      {"ALL to AVI", 100, false, 0, "/v/clip.wmv", true, false, "/v/clip.wmv.avi"},
      {"ALL to AVI", 100, false, 0, "/v/clip.MoV", true, true, "/v/clip.MoV.avi"},
      {"ALL to AVI", 100, false, 0, "/v/clip.mp4", true, true, "/v/clip.mp4.avi"},
      {"ALL to AVI", 100, false, 0, "/v/clip.swf", true, true, "/v/clip.swf.avi"},
      {"ALL to AVI", 100, false, 2, "/v/clip.mov", true, false, "/v/clip.mov.avi"},  // stopped
      {"ALL to AVI", 100, true, 0, "/v/clip.wmv", true, true, "/v/clip.wmv.avi"},     // stays on
      {"ALL to AVI", 100, false, 0, "/v.mov/clip", true, false, "/v.mov/clip.avi"},  // not its folder
      {"MOV to AVI", 3, true, 0, "/v/clip.mov", true, true, "/v/clip.mov.avi"},
      {"all to AVI", 100, false, 0, "/v/clip.wmv", true, false, nullptr},  // case-sensitive
  };
  for (const Case& c : cases) {
    const kavrol::OutputNaming n =
        kavrol::name_output(c.input, c.exists, c.title, c.mode, c.route, c.state);
    SCOPED_TRACE(std::string(c.title) + " " + c.input);
    EXPECT_EQ(n.quicktime_route, c.route_after);
    EXPECT_EQ(n.named, c.output != nullptr);
    if (c.output != nullptr) {
      EXPECT_EQ(n.output, c.output);
    }
  }
  EXPECT_TRUE(kavrol::refused_under_divx("/v/a.MOV"));
  EXPECT_TRUE(kavrol::refused_under_divx("/v/a.swf"));
  EXPECT_FALSE(kavrol::refused_under_divx("/v/a.mp4"));
}

TEST(JobMessages, FailureCarriesTheEnginesReasonAndTimeLeftIsShownOnceKnown) {
  EXPECT_EQ(kavrol::failure_message("Convert Error"), "Convert failed!");
  EXPECT_EQ(kavrol::failure_message(""), "Convert failed!");
  EXPECT_EQ(kavrol::failure_message("Must set the output file name."),
            "Convert failed!\nMust set the output file name.");
  EXPECT_EQ(kavrol::time_left_text(500, 5000), "");      // under a second gone
  EXPECT_EQ(kavrol::time_left_text(10000, 50), "");      // under 1% done
  EXPECT_EQ(kavrol::time_left_text(10000, 10000), "");   // done
  EXPECT_EQ(kavrol::time_left_text(10000, 5000), "0:10 left");
  EXPECT_EQ(kavrol::time_left_text(60000, 1000), "9:00 left");
  EXPECT_EQ(kavrol::time_left_text(3600000, 2500), "3:00:00 left");
}

TEST(RecentFolders, AreKeptInTheUsersConfiguration) {
  kavrol_test::TempDir dir;
  const QString file = QString::fromStdString((dir.path() / "clip.avi").string());
  kavrol::remember_folder_of(kavrol::kLastInputFolderKey, file);
  EXPECT_EQ(kavrol::recent_folder(kavrol::kLastInputFolderKey),
            QString::fromStdString(dir.path().string()));
  kavrol::remember_folder_of(kavrol::kLastOutputFolderKey, "/no/such/folder/out.mpg");
  EXPECT_EQ(kavrol::recent_folder(kavrol::kLastOutputFolderKey), "");  // gone: not offered
}

// Engine threads call the sinks and the QuickTime progress function; the
// receiver hears every event on its own thread, after the call returned.
TEST(JobEvents, CallsFromAWorkerThreadArriveOnTheUserInterfaceThread) {
  struct Recorder : kavrol::JobEventReceiver {
    void jobFailed(const QString& text) override { note("failed " + text); }
    void jobCompleted() override { note("completed"); }
    void jobProgress(std::int32_t v) override { note(QString("progress %1").arg(v)); }
    void jobCancelled() override { note("cancelled"); }
    void quickTimeReport(std::int32_t k, std::int32_t v) override {
      note(QString("report %1 %2").arg(k).arg(v));
    }
    void note(const QString& what) {
      heard << what;
      on_ui_thread = on_ui_thread && QThread::currentThread() == qApp->thread();
    }
    QStringList heard;
    bool on_ui_thread = true;
  };
  QObject context;
  Recorder recorder;
  kavrol::EventRelay relay(&context, &recorder);
  kavrol::AviToMpegEvents avi(relay);
  kavrol::MediaToAviEvents media(relay);
  kavrol::set_quicktime_listener(&relay);
  std::thread worker([&] {
    avi.OnProgress(2500);
    avi.OnError("Convert Error");
    avi.OnCompleted();
    media.OnProgress(10000);
    media.OnCancelled();
    media.OnError("disk full");
    media.OnCompleted();
    const lumaport::ProgressReport report{2, 4};
    kavrol::quicktime_progress(0, &report);
    kavrol::quicktime_progress(0, nullptr);  // ignored
  });
  worker.join();
  EXPECT_TRUE(recorder.heard.isEmpty());  // nothing runs on the worker
  QTRY_COMPARE(recorder.heard.size(), 8);
  kavrol::set_quicktime_listener(nullptr);
  EXPECT_TRUE(recorder.on_ui_thread);
  EXPECT_EQ(recorder.heard, QStringList({"progress 2500", "failed Convert Error", "completed",
                                         "progress 10000", "cancelled", "failed disk full",
                                         "completed", "report 2 4"}));
}

// --- The dialog ---------------------------------------------------------------

TEST_F(ConvertDialog, OpensAnimatedShowsThePreviewAboveAndDragsItAlong) {
  open("AVI to MPG1", real_);
  EXPECT_EQ(dialog_->size(), QSize(320, 120));
  EXPECT_EQ(dialog_->windowTitle(), "Kavrol Convert");
  EXPECT_EQ(dialog_->percentLabel()->text(), "0/100");
  EXPECT_EQ(dialog_->mask(), dialog_->shapeRegion());
  EXPECT_FALSE(dialog_->shapeRegion().contains(QPoint(0, 0)));  // the rounded corner
  ASSERT_TRUE(preview_.isVisible());
  EXPECT_EQ(preview_.pos(), QPoint(300 - (preview_.width() - 320) / 2,
                                   400 - preview_.height() - 5));
  auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), dialog_->mapToGlobal(QPointF(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(dialog_.get(), &event);
  };
  const QPoint dialog_at = dialog_->pos(), preview_at = preview_.pos();
  send(QEvent::MouseButtonPress, {160, 112}, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseMove, {190, 122}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(dialog_->pos(), dialog_at + QPoint(30, 10));
  EXPECT_EQ(preview_.pos(), preview_at + QPoint(30, 10));
  send(QEvent::MouseButtonRelease, {190, 122}, Qt::LeftButton, Qt::NoButton);

  preview_.close();  // its own close button unchecks the box
  EXPECT_FALSE(dialog_->previewCheckBox()->isChecked());
  dialog_->previewCheckBox()->click();
  EXPECT_TRUE(preview_.isVisible());
}

TEST_F(ConvertDialog, EachAviTargetConvertsWithProgressAndPreview) {
  const QString input = Fixtures::get().avi();
  ASSERT_FALSE(input.isEmpty()) << "ffmpeg could not make the AVI";
  open("AVI to MPG1", real_);
  for (const char* title : {"AVI to MPG1", "AVI to MPG2", "AVI to VCD", "AVI to SVCD",
                            "AVI to DVD"}) {
    SCOPED_TRACE(title);
    desktop_.messages.clear();
    reopen(title);
    type_input(input);
    const QString output = input + ".mpg";
    ASSERT_EQ(dialog_->outputEdit()->text(), output);
    fs::remove(output.toStdString());
    click_convert();
    EXPECT_TRUE(dialog_->showsCancelFaces());
    EXPECT_FALSE(dialog_->infoButton()->isEnabled());
    EXPECT_FALSE(preview_.imageVisible());  // the engine's video shows instead
    ASSERT_TRUE(wait_for_message());
    EXPECT_EQ(desktop_.messages[0].caption, "Info");
    EXPECT_EQ(desktop_.messages[0].text, "Convert completed!");
    EXPECT_EQ(desktop_.messages[0].icon, kavrol::MessageIcon::Information);
    EXPECT_EQ(dialog_->ConvertState, 0);
    EXPECT_FALSE(dialog_->showsCancelFaces());
    EXPECT_TRUE(dialog_->infoButton()->isEnabled());
    EXPECT_EQ(head_of(output, 4), std::string("\x00\x00\x01\xBA", 4));  // a pack header
    EXPECT_FALSE(preview_.frame().isNull());
    EXPECT_TRUE(dialog_->percentLabel()->text().endsWith('%'));
    dialog_->closeClicked();
  }
}

TEST_F(ConvertDialog, AnInputTheMediaServicesCannotOpenStopsBeforeAnyJob) {
  open("AVI to MPG2", real_);
  const QString text = Fixtures::get().touch("notmedia.avi");
  type_input(text);
  click_convert();
  ASSERT_EQ(desktop_.messages.size(), 1);
  EXPECT_EQ(desktop_.messages[0].caption, "Error");
  EXPECT_EQ(desktop_.messages[0].text, "Convert error!");
  EXPECT_EQ(dialog_->percentLabel()->text(), "0/100");
  EXPECT_EQ(dialog_->ConvertState, 0);
  EXPECT_FALSE(fs::exists((text + ".mpg").toStdString()));
}

TEST_F(ConvertDialog, StopLeavesStateTwoWithoutAMessageAndANewStartRuns) {
  const QString input = Fixtures::get().avi("long.avi", 8);
  ASSERT_FALSE(input.isEmpty());
  open("AVI to DVD", real_);
  type_input(input);
  click_convert();
  ASSERT_EQ(dialog_->ConvertState, 1);
  // Stopped while running: nothing is handled between this check and the click.
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog_->progressBar()->value() >= 1; },
                              kRunTimeoutMs));
  ASSERT_EQ(dialog_->ConvertState, 1);
  click_convert();
  EXPECT_EQ(dialog_->ConvertState, 2);
  EXPECT_FALSE(dialog_->showsCancelFaces());
  EXPECT_TRUE(dialog_->infoButton()->isEnabled());
  EXPECT_TRUE(preview_.imageVisible());
  QTest::qWait(200);  // any event of the stopped run would arrive now
  EXPECT_TRUE(desktop_.messages.isEmpty());
  EXPECT_EQ(dialog_->ConvertState, 2);

  // Closing while running asks first; Cancel keeps the run going.
  click_convert();
  ASSERT_EQ(dialog_->ConvertState, 1);
  QStringList asked;
  bool answer = false;
  kavrol::set_question_handler([&](const QString& caption, const QString& text) {
    asked << caption + ": " + text;
    return answer;
  });
  dialog_->closeClicked();
  EXPECT_EQ(asked, QStringList({"Sure: Stop the converting?"}));
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(dialog_->ConvertState, 1);
  answer = true;
  dialog_->closeClicked();
  kavrol::set_question_handler({});
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_FALSE(preview_.isVisible());
  EXPECT_EQ(dialog_->ConvertState, 2);
  QTest::qWait(200);
  EXPECT_TRUE(desktop_.messages.isEmpty());

  // A new command, a new run through to the end.
  reopen("AVI to MPG1");
  type_input(Fixtures::get().avi());
  click_convert();
  ASSERT_TRUE(wait_for_message());
  EXPECT_EQ(desktop_.messages[0].text, "Convert completed!");
}

TEST_F(ConvertDialog, WmvToAviWithEachPresetThroughTheCodecDialog) {
  const QString input = Fixtures::get().wmv();
  ASSERT_FALSE(input.isEmpty()) << "ffmpeg could not make the WMV";
  open("ALL to AVI", real_);
  for (const char* title : {"ALL to AVI", "ALL to DivX"}) {
    SCOPED_TRACE(title);
    desktop_.messages.clear();
    reopen(title);
    type_input(input);
    const QString output = input + ".avi";
    ASSERT_EQ(dialog_->outputEdit()->text(), output);
    fs::remove(output.toStdString());
    ModalAnswer codecs(dialog_.get(), true);
    click_convert();
    EXPECT_EQ(codecs.title, "Select Compression Codecs");
    ASSERT_TRUE(wait_for_message());
    EXPECT_EQ(desktop_.messages[0].text, "Convert completed!");
    EXPECT_EQ(dialog_->ConvertState, 0);
    const std::string head = head_of(output, 12);
    EXPECT_EQ(head.substr(0, 4), "RIFF");
    EXPECT_EQ(head.substr(8, 4), "AVI ");
    dialog_->closeClicked();
  }
}

TEST_F(ConvertDialog, CancellingTheCodecDialogReturnsToIdle) {
  const QString input = Fixtures::get().wmv();
  ASSERT_FALSE(input.isEmpty());
  open("ALL to AVI", real_);
  type_input(input);
  fs::remove((input + ".avi").toStdString());
  ModalAnswer codecs(dialog_.get(), false);
  click_convert();
  EXPECT_EQ(codecs.title, "Select Compression Codecs");
  QTRY_COMPARE(dialog_->ConvertState, 0);
  EXPECT_FALSE(dialog_->showsCancelFaces());
  EXPECT_TRUE(dialog_->infoButton()->isEnabled());
  EXPECT_TRUE(desktop_.messages.isEmpty());
  EXPECT_FALSE(fs::exists((input + ".avi").toStdString()));
}

TEST_F(ConvertDialog, AMediaToAviFailureShowsTheEnginesReason) {
  const QString input = Fixtures::get().wmv();
  ASSERT_FALSE(input.isEmpty());
  open("ALL to AVI", real_);
  type_input(input);
  dialog_->outputEdit()->clear();  // the job needs a name
  click_convert();
  ASSERT_TRUE(wait_for_message());
  EXPECT_EQ(desktop_.messages[0].caption, "Stop");
  EXPECT_EQ(desktop_.messages[0].icon, kavrol::MessageIcon::Error);
  EXPECT_EQ(desktop_.messages[0].text, "Convert failed!\nMust set the output file name.");
  EXPECT_EQ(dialog_->ConvertState, 0);
}

TEST_F(ConvertDialog, AnAviToMpegFailureShowsTheEnginesReason) {
  const QString input = Fixtures::get().avi("own.avi");
  ASSERT_FALSE(input.isEmpty());
  const auto size = fs::file_size(input.toStdString());
  open("AVI to DVD", real_);
  type_input(input);
  dialog_->outputEdit()->setText(input);  // the source itself
  click_convert();
  ASSERT_TRUE(wait_for_message());
  EXPECT_EQ(desktop_.messages[0].caption, "Stop");
  EXPECT_TRUE(desktop_.messages[0].text.startsWith("Convert failed!\n")) << desktop_.messages[0].text.toStdString();
  EXPECT_TRUE(desktop_.messages[0].text.contains("the output is the input file"))
      << desktop_.messages[0].text.toStdString();
  EXPECT_EQ(dialog_->ConvertState, 0);
  EXPECT_EQ(fs::file_size(input.toStdString()), size);
}

TEST_F(ConvertDialog, MovAndSwfAreRefusedUnderAllToDivxButMp4IsNot) {
  open("ALL to DivX", real_);
  type_input(Fixtures::get().touch("holiday.MOV"));
  EXPECT_FALSE(dialog_->QuickTimeRoute);
  click_convert();
  ASSERT_EQ(desktop_.messages.size(), 1);
  EXPECT_EQ(desktop_.messages[0].caption, "Stop");
  EXPECT_EQ(desktop_.messages[0].icon, kavrol::MessageIcon::Information);
  EXPECT_EQ(desktop_.messages[0].text,
            "This is a QuickTime MOV or Flash SWF file, Please choose \"All to AVI\" to "
            "convert it.");
  EXPECT_EQ(dialog_->ConvertState, 0);
  EXPECT_NE(dialog_->percentLabel()->text(), "Loading...");
}

TEST_F(ConvertDialog, AllToAviSwitchesToTheQuickTimeRouteUntilTheNextCommand) {
  open("ALL to AVI", fake_);
  type_input(Fixtures::get().touch("trip.mp4"));
  EXPECT_TRUE(dialog_->QuickTimeRoute);
  type_input(Fixtures::get().touch("trip.wmv"));
  EXPECT_TRUE(dialog_->QuickTimeRoute);  // stays on
  EXPECT_TRUE(dialog_->outputEdit()->text().endsWith("trip.wmv.avi"));
  type_input(Fixtures::get().touch("trip_notqt.wmv"));
  click_convert();
  ASSERT_EQ(desktop_.messages.size(), 1);
  EXPECT_EQ(desktop_.messages[0].text, "This is not a QuickTime MOV/MP4 format file.");
  EXPECT_EQ(dialog_->ConvertState, 0);
  reopen("ALL to AVI");
  EXPECT_FALSE(dialog_->QuickTimeRoute);
}

TEST_F(ConvertDialog, TheQuickTimeJobsEndCodesGiveTheirMessages) {
  struct Case {
    int code;
    const char* caption;
    const char* text_start;  // null: no message
  };
  const Case cases[] = {
      {0, "Info", "Convert completed!"},
      {1, "Stop", "Kavrol Video Convert need FFmpeg's QuickTime/MP4 demuxer (mov) to convert"},
      {2, "Stop", "Minimum installation of QuickTime find. \nKavrol Video Convert need at least"},
      {3, "Error", "Convert error!"},
      {4, "Error", "Open the MOV file failed!"},
      {5, "Error", "Open the MOV file failed!"},
      {6, "Error", "Initialize error!"},
      {7, nullptr, nullptr},
  };
  open("MOV to AVI", fake_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    desktop_.messages.clear();
    const QString input = Fixtures::get().touch("film_end" + std::to_string(c.code) + ".mov");
    type_input(input);
    ASSERT_EQ(dialog_->outputEdit()->text(), input + ".avi");
    click_convert();
    QTRY_COMPARE(dialog_->ConvertState, 0);
    EXPECT_EQ(dialog_->percentLabel()->text(), "100%");
    EXPECT_EQ(dialog_->progressBar()->value(), 100);
    EXPECT_TRUE(preview_.imageVisible());  // shown again at 100%
    EXPECT_TRUE(dialog_->infoButton()->isEnabled());
    if (c.text_start == nullptr) {
      EXPECT_TRUE(desktop_.messages.isEmpty());
      continue;
    }
    ASSERT_EQ(desktop_.messages.size(), 1);
    EXPECT_EQ(desktop_.messages[0].caption, c.caption);
    EXPECT_TRUE(desktop_.messages[0].text.startsWith(c.text_start)) << desktop_.messages[0].text.toStdString();
    EXPECT_EQ(desktop_.messages[0].icon, c.code == 0 ? kavrol::MessageIcon::Information
                                                     : kavrol::MessageIcon::Error);
  }
  EXPECT_TRUE(fs::exists(Fixtures::get().folder().toStdString() + "/film_end0.mov.avi"));
}

TEST_F(ConvertDialog, StoppingTheQuickTimeJobReturnsToIdle) {
  open("SWF to AVI", fake_);
  type_input(Fixtures::get().touch("slow.swf"));
  click_convert();
  ASSERT_EQ(dialog_->ConvertState, 1);
  EXPECT_FALSE(dialog_->infoButton()->isEnabled());
  QTRY_VERIFY(dialog_->percentLabel()->text().endsWith('%'));
  click_convert();
  EXPECT_EQ(dialog_->ConvertState, 0);
  EXPECT_TRUE(preview_.imageVisible());
  QTest::qWait(100);
  EXPECT_TRUE(desktop_.messages.isEmpty());
}

TEST_F(ConvertDialog, MovThroughTheRealQuickTimeLibrary) {
  const QString input = Fixtures::get().mov();
  ASSERT_FALSE(input.isEmpty()) << "ffmpeg could not make the MOV";
  open("MOV to AVI", real_);
  type_input(input);
  fs::remove((input + ".avi").toStdString());
  click_convert();
  ASSERT_TRUE(wait_for_message());
  if (desktop_.messages[0].text == "Initialize error!") {
    GTEST_SKIP() << "the QuickTime library does not convert yet";
  }
  EXPECT_EQ(desktop_.messages[0].text, "Convert completed!");
  EXPECT_EQ(head_of(input + ".avi", 4), "RIFF");
}

TEST_F(ConvertDialog, ADroppedFileBecomesTheInput) {
  open("AVI to MPG1", real_);
  const QString file = Fixtures::get().touch("dropped.avi");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(file)});
  QDragEnterEvent enter(QPoint(160, 60), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(dialog_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(160, 60), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(dialog_.get(), &drop);
  EXPECT_EQ(dialog_->inputEdit()->text(), file);
  EXPECT_EQ(dialog_->outputEdit()->text(), file + ".mpg");
  EXPECT_EQ(kavrol::recent_folder(kavrol::kLastInputFolderKey), Fixtures::get().folder());
}

// Under a real X server (tests/frontend/convert_screenshot.sh): the screen
// with the dialog mid-conversion and the preview showing the video.
TEST_F(ConvertDialog, ScreenshotMidConversion) {
  const char* folder = std::getenv("KAVROL_SCREENSHOT_DIR");
  if (folder == nullptr) GTEST_SKIP() << "only under the screenshot run";
  const QString input = Fixtures::get().avi("screenshot.avi", 20);
  ASSERT_FALSE(input.isEmpty());
  open("AVI to DVD", real_);
  type_input(input);
  click_convert();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return dialog_->ConvertState != 1 ||
               (dialog_->progressBar()->value() >= 30 && !preview_.frame().isNull());
      },
      kRunTimeoutMs));
  ASSERT_EQ(dialog_->ConvertState, 1) << "the run ended before the picture was taken";
  QTest::qWait(300);  // let both windows paint
  const QString dir = QString::fromUtf8(folder);
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  EXPECT_TRUE(screen->grabWindow(0).save(dir + "/convert_midway_screen.png"));
  EXPECT_TRUE(dialog_->grab().save(dir + "/convert_midway_dialog.png"));
  EXPECT_TRUE(preview_.grab().save(dir + "/convert_midway_preview.png"));
}

}  // namespace
