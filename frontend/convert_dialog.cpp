#include "convert_dialog.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include "controls/transparent_button.h"
#include "conversion_commands.h"
#include "convert_faces.h"
#include "corvexa/avi_to_mpeg.h"
#include "corvexa/media_player.h"
#include "corvexa/media_to_avi.h"
#include "desktop.h"
#include "engine_binding.h"
#include "info_dialog.h"
#include "media_report.h"
#include "output_naming.h"
#include "preview_window.h"
#include "recent_folders.h"
#include "time_left.h"
#include "vendor.h"
#include "window_shape.h"

namespace kavrol {
namespace {

// Where the conversion support our QuickTime library relies on comes from.
constexpr const char* kQuickTimeDownload = "https://ffmpeg.org/download.html";

QString quicktime_needed_message() {
  return QString(
             "Kavrol Video Convert need FFmpeg's QuickTime/MP4 demuxer (mov) to convert this "
             "file.\nPlease download FFmpeg from:\n\n   %1\n\nand install it first.\nAttention:\n"
             "Please choose \"Recommended\" option on the installation.\n")
      .arg(kQuickTimeDownload);
}

// The dialog's labels were laid out for a narrow sans serif; where the
// desktop has none, a condensed face keeps them within their places.
QFont label_font(int pixels) {
  QFont font;
  font.setFamilies({"MS Sans Serif", "Liberation Sans", "Arial", "DejaVu Sans"});
  font.setStretch(QFont::SemiCondensed);
  font.setPixelSize(pixels);
  return font;
}

// `room`: the width the label may take before the next component; a face
// too wide for it is made smaller rather than cut.
QLabel* make_label(QWidget* parent, const QString& text, const QRect& where, int pixels,
                   int room) {
  auto* label = new QLabel(text, parent);
  label->setAttribute(Qt::WA_TranslucentBackground);
  for (int size = pixels;; --size) {
    label->setFont(label_font(size));
    if (size <= 9 || label->sizeHint().width() <= room) break;
  }
  QRect place = where;
  place.setWidth(std::min(room, std::max(where.width(), label->sizeHint().width())));
  label->setGeometry(place);
  return label;
}

TTransparentButton* make_picture_button(QWidget* parent, const char* name, const QRect& where,
                                        const ImageList* faces) {
  auto* button = new TTransparentButton(parent);
  button->setObjectName(name);
  button->setGeometry(where);
  button->setBorderWidth(0);
  button->setNumGlyphs(3);
  button->setImageList(faces);
  return button;
}

QLineEdit* make_edit(QWidget* parent, const char* name, int top, const char* hint) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(62, top, 162, 22);
  edit->setToolTip(hint);
  edit->setAcceptDrops(false);  // a dropped file goes to the dialog
  return edit;
}

QToolButton* make_browse_button(QWidget* parent, const char* name, int top, const QIcon& glyph) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setGeometry(224, top, 16, 22);
  button->setAutoRaise(true);
  button->setIcon(glyph);
  return button;
}

void fill(ImageList& list, int width, int height, int count, const QString& symbol) {
  list.set_size(width, height);
  list.add_masked(button_faces(width, height, count, symbol), kSeeThrough);
}

// Rows [H/2 - half, H/2 + half) of the window, within its outline.
QRegion band(const QRegion& shape, int width, int height, int half) {
  return shape.intersected(QRegion(0, height / 2 - half, width, 2 * half));
}

// Jobs are created on first use and kept until the dialog closes.
template <class Kind, class Make>
bool made(Kind** job, Make make) {
  if (*job == nullptr) *job = static_cast<Kind*>(make());
  return *job != nullptr;
}

QByteArray native(const QLineEdit* edit) { return QFile::encodeName(edit->text()); }

QString local_path(const QString& text) { return QFileInfo(text).filePath(); }

}  // namespace

TfrmConvert::TfrmConvert(const EngineBinding* binding, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      binding_(binding),
      relay_(this, this),
      AviToMpegSink(relay_),
      MediaToAviSink(relay_) {
  setObjectName("frmConvert");
  setWindowTitle("Kavrol Convert");
  setFont(label_font(11));
  setAcceptDrops(true);
  create_components();
  setFixedSize(Image1->size());
  ShapeRegion = window_shape(background_);
}

TfrmConvert::~TfrmConvert() {
  set_quicktime_listener(nullptr);
  release_jobs();
}

void TfrmConvert::create_components() {
  background_ = convert_background();
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setGeometry(0, 0, 320, 120);
  Image1->setPixmap(QPixmap::fromImage(background_));
  Image1->setAttribute(Qt::WA_TransparentForMouseEvents);  // presses drag the dialog

  Label_Title = make_label(this, QString(), QRect(5, 6, 120, 15), 12, 120);
  Label_Title->setObjectName("Label_Title");
  QFont bold("Microsoft Sans Serif");
  bold.setPixelSize(12);
  bold.setBold(true);
  Label_Title->setFont(bold);

  CheckBox1 = new QCheckBox(this);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox1->setGeometry(129, 6, 14, 18);
  connect(CheckBox1, &QCheckBox::toggled, this, &TfrmConvert::preview_toggled);
  Label3 = make_label(this, "Preview", QRect(146, 8, 38, 13), 11, 60);
  Label3->setObjectName("Label3");

  fill(ImageList1, 13, 15, 4, "x");
  fill(ImageList2, 24, 24, 3, "i");
  fill(ImageList_Convert, 64, 25, 3, "Convert");
  fill(ImageList_Cancel, 64, 25, 3, "Cancel");
  TransparentButton1 =
      make_picture_button(this, "TransparentButton1", QRect(298, 6, 13, 15), &ImageList1);
  TransparentButton1->setToolTip("Close");
  connect(TransparentButton1, &TTransparentButton::clicked, this, &TfrmConvert::closeClicked);

  Label1 = make_label(this, "Input File", QRect(7, 31, 43, 13), 12, 54);
  Label1->setObjectName("Label1");
  Edit_InputFile = make_edit(this, "Edit_InputFile", 30, "Input source file path and name");
  connect(Edit_InputFile, &QLineEdit::textChanged, this, &TfrmConvert::input_changed);

  const QIcon folder(QPixmap::fromImage(folder_glyph()));
  btnOpen = make_browse_button(this, "btnOpen", 28, folder);
  connect(btnOpen, &QToolButton::clicked, this, &TfrmConvert::browse_input);

  btnInfo = make_picture_button(this, "btnInfo", QRect(266, 26, 24, 24), &ImageList2);
  btnInfo->setToolTip("File information");
  connect(btnInfo, &TTransparentButton::clicked, this, &TfrmConvert::show_information);

  Label2 = make_label(this, "Output File", QRect(7, 57, 51, 13), 12, 54);
  Label2->setObjectName("Label2");
  Label1->setFont(Label2->font());  // the pair in one size
  Edit_OutputFile =
      make_edit(this, "Edit_OutputFile", 55, "Input destination file path and name");
  btnSave = make_browse_button(this, "btnSave", 54, folder);
  connect(btnSave, &QToolButton::clicked, this, &TfrmConvert::browse_output);

  btnConvert = make_picture_button(this, "btnConvert", QRect(247, 51, 64, 25), &ImageList_Convert);
  connect(btnConvert, &TTransparentButton::clicked, this, &TfrmConvert::convertClicked);
  connect(btnConvert, &TTransparentButton::mouseDown, this, [this](Qt::MouseButton, QPoint) {
    if (ConvertState != kConverting) Label_Percent->setText("Loading...");
  });

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(5, 82, 239, 24);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setAlignment(Qt::AlignCenter);
  ProgressBar1->setTextVisible(false);  // shows the time left while a job runs

  Label_Percent = make_label(this, "0/100", QRect(250, 88, 64, 13), 12, 64);
  Label_Percent->setObjectName("Label_Percent");
  Label_Percent->setAlignment(Qt::AlignCenter);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(10);
  connect(Timer1, &QTimer::timeout, this, &TfrmConvert::open_tick);
}

void TfrmConvert::setPreview(TfrmPreview* preview) {
  preview_ = preview;
  if (preview != nullptr) {
    connect(preview, &TfrmPreview::closed, this, [this] { CheckBox1->setChecked(false); });
  }
}

void TfrmConvert::setInfoDialog(TInfoDlg* info) { info_ = info; }

void TfrmConvert::applyCommand(const ConversionCommand& command) {
  QuickTimeRoute = command.quicktime_route;
  if (command.mode) ConvertMode = *command.mode;
  setTitle(command.title);
  OpenFilter = command.open_filter;
  SaveFilter = command.save_filter;
  DefaultExtension = command.default_extension;
}

void TfrmConvert::setTitle(const QString& title) { Label_Title->setText(title); }
QString TfrmConvert::title() const { return Label_Title->text(); }

bool TfrmConvert::showsCancelFaces() const { return btnConvert->imageList() == &ImageList_Cancel; }

void TfrmConvert::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QWidget* main = parentWidget()) main->hide();
  place_preview();
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  Label_Percent->setText("0/100");
  Edit_InputFile->clear();
  Edit_OutputFile->clear();
  btnInfo->setEnabled(true);
  set_convert_faces(false);
  OpenHalfHeight = 1;
  setMask(band(ShapeRegion, width(), height(), OpenHalfHeight));
  Timer1->start();
}

void TfrmConvert::place_preview() {
  if (preview_ == nullptr) return;
  const QRect picture = Image1->geometry().translated(pos());
  preview_->move(picture.left() - (preview_->width() - picture.width()) / 2,
                 y() - preview_->height() - 5);
}

void TfrmConvert::open_tick() {
  const int half = height() / 2;
  if (OpenHalfHeight >= half) {
    Timer1->stop();
    setMask(ShapeRegion);
    if (CheckBox1->isChecked()) {
      preview_toggled(true);
    } else {
      CheckBox1->setChecked(true);
    }
    return;
  }
  OpenHalfHeight = std::min(OpenHalfHeight + 2, half);
  setMask(band(ShapeRegion, width(), height(), OpenHalfHeight));
}

void TfrmConvert::close_animation() {
  for (int n = height() / 2; n > 0; n -= 2) {
    setMask(band(ShapeRegion, width(), height(), n));
    repaint();
    QThread::msleep(10);
  }
}

void TfrmConvert::preview_toggled(bool checked) {
  if (preview_ == nullptr) return;
  if (checked) {
    place_preview();
    preview_->show();
    preview_->raise();
  } else if (preview_->isVisible()) {
    preview_->close();
  }
}

void TfrmConvert::input_changed() {
  const QString input = Edit_InputFile->text();
  const OutputNaming naming = name_output(input, QFileInfo(local_path(input)).isFile(), title(),
                                          ConvertMode, QuickTimeRoute, ConvertState);
  QuickTimeRoute = naming.quicktime_route;
  if (naming.named) Edit_OutputFile->setText(naming.output);
}

void TfrmConvert::browse_input() {
  const QString path = QFileDialog::getOpenFileName(this, QString(), recent_folder(kLastInputFolderKey),
                                                    qt_name_filters(OpenFilter));
  if (path.isEmpty()) return;
  remember_folder_of(kLastInputFolderKey, path);
  Edit_InputFile->setText(path);
}

void TfrmConvert::browse_output() {
  QFileDialog dialog(this, QString(), recent_folder(kLastOutputFolderKey),
                     qt_name_filters(SaveFilter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(DefaultExtension);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().first();
  remember_folder_of(kLastOutputFolderKey, path);
  Edit_OutputFile->setText(path);
}

void TfrmConvert::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (ConvertState != kConverting && !urls.isEmpty() && urls.first().isLocalFile()) {
    event->acceptProposedAction();
  }
}

void TfrmConvert::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (ConvertState == kConverting || urls.isEmpty() || !urls.first().isLocalFile()) return;
  const QString path = urls.first().toLocalFile();
  remember_folder_of(kLastInputFolderKey, path);
  Edit_InputFile->setText(path);
  event->acceptProposedAction();
}

void TfrmConvert::show_information() {
  const QString path = Edit_InputFile->text();
  QString report;
  // A file the media services cannot open has nothing to show here.
  if (read_media_report(binding_, path, report) != MediaReport::kRead || info_ == nullptr) return;
  QFile file(path);
  const long long size = file.open(QIODevice::ReadOnly) ? file.size() : -1;
  info_->setWindowTitle("File Information");
  info_->setLines(information_lines(path, size, report, kSupportAddress));
  info_->exec();
}

void TfrmConvert::set_convert_faces(bool cancel) {
  btnConvert->setImageList(cancel ? &ImageList_Cancel : &ImageList_Convert);
  btnConvert->repaint();
}

void TfrmConvert::set_preview_picture_visible(bool visible) {
  if (preview_ != nullptr) preview_->setImageVisible(visible);
}

void TfrmConvert::back_to_idle() {
  ConvertState = kIdle;
  set_convert_faces(false);
  btnInfo->setEnabled(true);
  ProgressBar1->setTextVisible(false);
}

void TfrmConvert::convertClicked() {
  if (ConvertState == kConverting) {
    if (QuickTimeRoute) {
      if (QuickTimeJob != nullptr) QuickTimeJob->Stop();
      back_to_idle();
      set_preview_picture_visible(true);
      return;
    }
    stop_job();
    ConvertState = kStopped;
    set_convert_faces(false);
    btnInfo->setEnabled(true);
    ProgressBar1->setTextVisible(false);
    set_preview_picture_visible(true);
    return;
  }
  bool started = false;
  if (QuickTimeRoute) {
    started = start_quicktime();
  } else if (ConvertMode == kMediaToDivx && refused_under_divx(Edit_InputFile->text())) {
    show_message(this, MessageIcon::Information, "Stop",
                 "This is a QuickTime MOV or Flash SWF file, Please choose \"All to AVI\" to "
                 "convert it.");
  } else if (ConvertMode == kMediaToAvi || ConvertMode == kMediaToDivx) {
    started = start_media_to_avi();
  } else {
    started = start_avi_to_mpeg();
  }
  if (!started) {
    if (Label_Percent->text() == "Loading...") Label_Percent->setText("0/100");
    return;
  }
  ConvertState = kConverting;
  set_convert_faces(true);
  btnInfo->setEnabled(false);
  set_preview_picture_visible(false);
  run_clock_.start();
  last_progress_ = 0;
}

bool TfrmConvert::start_avi_to_mpeg() {
  if (binding_ == nullptr || !made(&AviToMpegJob, [this] { return binding_->new_avi_to_mpeg(); })) return false;
  auto* player = static_cast<corvexa::MediaPlayer*>(binding_->new_media_player());
  if (player == nullptr) return false;
  const QByteArray input = native(Edit_InputFile);
  const QByteArray output = native(Edit_OutputFile);
  if (!player->OpenInfo(input.constData())) {
    Label_Percent->setText("0/100");
    show_message(this, MessageIcon::Error, "Error", "Convert error!");
    player->Release();
    return false;
  }
  player->InfoSeconds();
  player->CloseInfo();
  player->Release();
  AviToMpegJob->SetSourceFile(input.constData());
  AviToMpegJob->SetOutputFile(output.constData());
  AviToMpegJob->SetTarget(ConvertMode, 1);
  AviToMpegJob->SetPreviewWindow(preview_.data());
  AviToMpegJob->SetSink(&AviToMpegSink);
  AviToMpegJob->Start();
  return true;
}

bool TfrmConvert::start_media_to_avi() {
  if (binding_ == nullptr || !made(&MediaToAviJob, [this] { return binding_->new_media_to_avi(); })) return false;
  const QByteArray input = native(Edit_InputFile);
  const QByteArray output = native(Edit_OutputFile);
  MediaToAviJob->SetSourceFile(input.constData());
  MediaToAviJob->SetOutputFile(output.constData());
  MediaToAviJob->SetPreviewWindow(preview_.data());
  MediaToAviJob->SetDialogParent(this);  // the codec dialog opens over this one
  MediaToAviJob->SetCompressorPreset(ConvertMode == kMediaToAvi ? corvexa::kPresetAvi
                                                                : corvexa::kPresetDivx);
  MediaToAviJob->SetSink(&MediaToAviSink);
  MediaToAviJob->Start();  // returns once the codec dialog has closed
  return true;
}

bool TfrmConvert::start_quicktime() {
  if (binding_ == nullptr || !made(&QuickTimeJob, [this] { return binding_->new_quicktime_job(); })) return false;
  const QByteArray input = native(Edit_InputFile);
  const QByteArray output = native(Edit_OutputFile);
  if (QuickTimeJob->CanConvert(input.constData()) == 0) {
    show_message(nullptr, MessageIcon::Error, "Stop", "This is not a QuickTime MOV/MP4 format file.");
    return false;
  }
  btnInfo->setEnabled(false);
  set_quicktime_listener(&relay_);
  QuickTimeJob->SetFiles(input.constData(), output.constData());
  QuickTimeJob->SetWindow(this, &quicktime_progress);
  QuickTimeJob->Start();
  return true;
}

void TfrmConvert::stop_job() {
  if (QuickTimeRoute) {
    if (QuickTimeJob != nullptr) QuickTimeJob->Stop();
  } else if (ConvertMode == kMediaToAvi || ConvertMode == kMediaToDivx) {
    if (MediaToAviJob != nullptr) MediaToAviJob->Stop();
  } else if (AviToMpegJob != nullptr) {
    AviToMpegJob->Stop();
  }
}

void TfrmConvert::release_jobs() {
  corvexa::ReleaseObject(AviToMpegJob);
  corvexa::ReleaseObject(MediaToAviJob);
  corvexa::ReleaseObject(QuickTimeJob);
  AviToMpegJob = nullptr;
  MediaToAviJob = nullptr;
  QuickTimeJob = nullptr;
}

void TfrmConvert::closeClicked() {
  if (ConvertState == kConverting) {
    if (!ask_ok_cancel(this, "Sure", "Stop the converting?")) return;
    // The run is stopped before its job goes, so that no unfinished output
    // stays behind and no event of it follows.
    stop_job();
    ConvertState = QuickTimeRoute ? kIdle : kStopped;
  }
  close_dialog();
}

void TfrmConvert::reject() { closeClicked(); }

void TfrmConvert::close_dialog() {
  if (preview_ != nullptr && preview_->isVisible()) preview_->close();
  Timer1->stop();
  close_animation();
  release_jobs();
  if (QWidget* main = parentWidget()) {
    main->move(x() + width() / 2 - main->width() / 2, y() + height() / 2 - main->height() / 2);
    main->show();
  }
  setMask(ShapeRegion);
  done(QDialog::Accepted);
}

void TfrmConvert::show_progress(int percent) {
  ProgressBar1->setValue(percent);
  Label_Percent->setText(QString::asprintf("%d%%", percent));
}

void TfrmConvert::jobProgress(std::int32_t value) {
  // Late reports of a stopped run, and the engine's "stage ended early"
  // marker (-100), move nothing.
  if (ConvertState != kConverting || value < 0 || value > 10000) return;
  // Each stage of a job counts from 0 again: its time left is its own.
  if (value < last_progress_) run_clock_.restart();
  last_progress_ = value;
  show_progress(value / 100);
  const QString left = time_left_text(run_clock_.elapsed(), value);
  ProgressBar1->setFormat(left);
  ProgressBar1->setTextVisible(!left.isEmpty());
}

void TfrmConvert::jobFailed(const QString& engine_text) {
  if (ConvertState != kConverting) return;
  // The AVI-to-MPEG job tells its sink no more than "Convert Error" and
  // keeps its own reason for the failure.
  QString text = engine_text;
  if (ConvertMode >= 0 && ConvertMode <= 4 && AviToMpegJob != nullptr && *AviToMpegJob->LastError() != '\0')
    text = QString::fromUtf8(AviToMpegJob->LastError());
  back_to_idle();
  show_message(nullptr, MessageIcon::Error, "Stop", failure_message(text));
}

void TfrmConvert::jobCompleted() {
  if (ConvertState != kConverting) return;
  back_to_idle();
  show_message(nullptr, MessageIcon::Information, "Info", "Convert completed!");
}

// Nothing runs after a cancelled codec dialog: the dialog is idle again.
void TfrmConvert::jobCancelled() {
  if (ConvertState != kConverting) return;
  back_to_idle();
  set_preview_picture_visible(true);
  Label_Percent->setText("0/100");
}

void TfrmConvert::quickTimeReport(std::int32_t kind, std::int32_t value) {
  if (ConvertState != kConverting || !QuickTimeRoute) return;
  if (kind == lumaport::kReportProgress) {
    const unsigned percent = static_cast<unsigned>(value) / 100;
    if (percent == 100) {
      set_preview_picture_visible(true);
      Label_Percent->setText("100%");
      ProgressBar1->setValue(100);
    } else if (percent < 100) {
      show_progress(static_cast<int>(percent));
    }
    return;
  }
  back_to_idle();
  const auto error = [](const QString& caption, const QString& text) {
    show_message(nullptr, MessageIcon::Error, caption, text);
  };
  switch (value) {
    case lumaport::kCompleted:
      show_message(nullptr, MessageIcon::Information, "Info", "Convert completed!");
      break;
    case lumaport::kNotInstalled: error("Stop", quicktime_needed_message()); break;
    case lumaport::kMinimalInstallation:
      error("Stop",
            "Minimum installation of QuickTime find. \nKavrol Video Convert need at least "
            "<Recommended> install of QuickTime.\nPlease install QuickTime again with "
            "<Recommended> or <Full> install type.");
      break;
    case lumaport::kConvertError: error("Error", "Convert error!"); break;
    case lumaport::kOpenFailed:
    case lumaport::kOpenFailedToo: error("Error", "Open the MOV file failed!"); break;
    case lumaport::kInitialiseError: error("Error", "Initialize error!"); break;
    default: break;
  }
}

void TfrmConvert::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton && Image1->geometry().contains(at)) {
    DragAnchorX = at.x();
    DragAnchorY = at.y();
    Dragging = true;
  }
  QDialog::mousePressEvent(event);
}

void TfrmConvert::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if ((event->buttons() & Qt::LeftButton) && Dragging) {
    const QPoint offset = at - QPoint(DragAnchorX, DragAnchorY);
    move(pos() + offset);
    if (preview_ != nullptr) preview_->move(preview_->pos() + offset);
  }
  QDialog::mouseMoveEvent(event);
}

void TfrmConvert::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) Dragging = false;
  QDialog::mouseReleaseEvent(event);
}

}  // namespace kavrol
