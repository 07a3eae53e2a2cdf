// Screenshot tour: `kavrol --screenshot-tour DIR` shows every skin, the popup
// menu and the secondary windows, and writes each as a PNG into DIR, so a
// person can look at what users see. Used by the Xvfb screenshot test.
#pragma once

#include <QString>

namespace kavrol {

class TForm1;
class TfrmConvert;
class TfrmPreview;
class TAboutBox;
class TInfoDlg;

struct TourWindows {
  TForm1* main;
  TfrmConvert* convert;
  TfrmPreview* preview;
  TAboutBox* about;
  TInfoDlg* info;
};

// Starts the tour once the event loop runs; the application quits when it is
// done, with exit code 0 when every picture was written.
void start_screenshot_tour(const TourWindows& windows, const QString& folder);

}  // namespace kavrol
