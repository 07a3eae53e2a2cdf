// TfrmConvert: the borderless conversion dialog. A command of the main window
// fills in its title, code, route, filters and default extension and shows it
// modally; the dialog then runs one of three engine paths (AVI to MPEG, any
// media to AVI, or the QuickTime library), follows it through the job events
// and keeps the preview window above it.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QString>

#include "image_list.h"
#include "job_events.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTimer;
class QToolButton;

namespace corvexa {
class AviToMpegJob;
class MediaToAvi;
}  // namespace corvexa
namespace lumaport {
class QuickTimeJob;
}

namespace kavrol {

class EngineBinding;
class TfrmPreview;
class TInfoDlg;
class TTransparentButton;
struct ConversionCommand;

class TfrmConvert : public QDialog, private JobEventReceiver {
  Q_OBJECT

 public:
  enum State { kIdle = 0, kConverting = 1, kStopped = 2 };

  // `binding` may be null: every start then stays idle.
  explicit TfrmConvert(const EngineBinding* binding, QWidget* parent = nullptr);
  ~TfrmConvert() override;

  // The preview window the engine draws into, and the information dialog of
  // btnInfo; both outlive the dialog.
  void setPreview(TfrmPreview* preview);
  void setInfoDialog(TInfoDlg* info);

  int ConvertMode = 0;
  bool QuickTimeRoute = false;
  int ConvertState = kIdle;
  QString OpenFilter;
  QString SaveFilter;
  QString DefaultExtension;
  int OpenHalfHeight = 0;
  bool Dragging = false;
  int DragAnchorX = 0, DragAnchorY = 0;

  // What a command of the main window hands over before showing the dialog.
  void applyCommand(const ConversionCommand& command);
  void setTitle(const QString& title);
  QString title() const;

  // The components, for tests and the screenshot tour.
  QLineEdit* inputEdit() const { return Edit_InputFile; }
  QLineEdit* outputEdit() const { return Edit_OutputFile; }
  TTransparentButton* convertButton() const { return btnConvert; }
  TTransparentButton* infoButton() const { return btnInfo; }
  TTransparentButton* closeButton() const { return TransparentButton1; }
  QCheckBox* previewCheckBox() const { return CheckBox1; }
  QProgressBar* progressBar() const { return ProgressBar1; }
  QLabel* percentLabel() const { return Label_Percent; }
  // The convert button shows the cancel faces while a job runs.
  bool showsCancelFaces() const;
  const QRegion& shapeRegion() const { return ShapeRegion; }

  // Clicks of btnConvert and TransparentButton1 as the user makes them.
  void convertClicked();
  void closeClicked();

 protected:
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void reject() override;  // Escape closes as the close button does

 private:
  void create_components();
  void input_changed();
  void browse_input();
  void browse_output();
  void show_information();
  void preview_toggled(bool checked);
  void open_tick();
  void close_animation();
  void close_dialog();
  void back_to_idle();
  void set_convert_faces(bool cancel);
  void show_progress(int percent);
  void set_preview_picture_visible(bool visible);
  void place_preview();

  bool start_avi_to_mpeg();
  bool start_media_to_avi();
  bool start_quicktime();
  void stop_job();
  void release_jobs();

  // JobEventReceiver, on the user-interface thread.
  void jobFailed(const QString& engine_text) override;
  void jobCompleted() override;
  void jobProgress(std::int32_t value) override;
  void jobCancelled() override;
  void quickTimeReport(std::int32_t kind, std::int32_t value) override;

  const EngineBinding* binding_;
  QPointer<TfrmPreview> preview_;
  QPointer<TInfoDlg> info_;

  QLabel* Image1;
  QLabel* Label_Title;
  QCheckBox* CheckBox1;
  QLabel* Label3;
  TTransparentButton* TransparentButton1;
  QLabel* Label1;
  QLineEdit* Edit_InputFile;
  QToolButton* btnOpen;
  TTransparentButton* btnInfo;
  QLabel* Label2;
  QLineEdit* Edit_OutputFile;
  QToolButton* btnSave;
  TTransparentButton* btnConvert;
  QProgressBar* ProgressBar1;
  QLabel* Label_Percent;
  QTimer* Timer1;

  ImageList ImageList1, ImageList2, ImageList_Convert, ImageList_Cancel;
  QImage background_;
  QRegion ShapeRegion;

  corvexa::AviToMpegJob* AviToMpegJob = nullptr;
  corvexa::MediaToAvi* MediaToAviJob = nullptr;
  lumaport::QuickTimeJob* QuickTimeJob = nullptr;
  EventRelay relay_;
  AviToMpegEvents AviToMpegSink;
  MediaToAviEvents MediaToAviSink;
  QElapsedTimer run_clock_;  // for the time left
  std::int32_t last_progress_ = 0;
};

}  // namespace kavrol
