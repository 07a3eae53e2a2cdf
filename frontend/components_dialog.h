// TComDlg: lists the optional components found missing at start-up.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace kavrol {

struct ComponentReport;

class TComDlg : public QDialog {
  Q_OBJECT

 public:
  // Enables the label of each missing component and greys the others.
  explicit TComDlg(const ComponentReport& report, QWidget* parent = nullptr);

  QLabel* frameworkLabel() const { return lbl_DX; }
  QLabel* windowsMediaLabel() const { return lbl_WMF; }
  QLabel* quicktimeLabel() const { return lbl_QT; }

 protected:
  void showEvent(QShowEvent* event) override;  // centred on the screen

 private:
  QFrame* Bevel1;
  QLabel* Label1;
  QLabel* lbl_DX;
  QLabel* lbl_WMF;
  QLabel* lbl_QT;
  QLabel* Label2;
  QPushButton* Button1;
  QPushButton* OKBtn;
};

// The label texts, naming what this platform really needs.
inline constexpr const char* kFrameworkComponent =
    "FFmpeg 5.0 (or later) with its demuxers and decoders";
inline constexpr const char* kWindowsMediaComponent = "FFmpeg's Windows Media decoders (WMV, WMA)";
inline constexpr const char* kQuickTimeComponent = "FFmpeg's QuickTime/MP4 demuxer (mov)";

}  // namespace kavrol
