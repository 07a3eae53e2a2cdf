#include "components_dialog.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QUrl>

#include "app_paths.h"
#include "component_probe.h"
#include "desktop.h"
#include "vendor.h"

namespace kavrol {

TComDlg::TComDlg(const ComponentReport& report, QWidget* parent) : QDialog(parent) {
  setObjectName("ComDlg");
  setWindowTitle("Components missing");
  setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(442, 305);

  Bevel1 = new QFrame(this);
  Bevel1->setGeometry(8, 8, 417, 257);
  Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

  auto wrapped = [this](const QString& text, int x, int y, int w, int h) {
    auto* label = new QLabel(text, this);
    label->setGeometry(x, y, w, h);
    label->setWordWrap(true);
    return label;
  };
  Label1 = wrapped("Kavrol Video Convert has detected that you do not have the following "
                   "software installed on your computer:",
                   32, 24, 360, 36);
  auto component = [this](const char* text, int y, bool missing) {
    auto* label = new QLabel(text, this);
    label->move(72, y);
    label->adjustSize();
    label->setEnabled(missing);
    return label;
  };
  lbl_DX = component(kFrameworkComponent, 88, !report.media_framework);
  lbl_WMF = component(kWindowsMediaComponent, 120, !report.windows_media);
  lbl_QT = component(kQuickTimeComponent, 152, !report.quicktime);
  Label2 = wrapped("For additional file format support,we recommend that you install these "
                   "components.Click the More Info button for more information.",
                   32, 196, 360, 52);

  Button1 = new QPushButton("More Info...", this);
  Button1->setGeometry(230, 276, 75, 25);
  // The help page says which packages bring these components.
  connect(Button1, &QPushButton::clicked, this, [] {
    QUrl page = QUrl::fromLocalFile(resource_folder() + "/" + kHelpFile);
    page.setFragment("components");
    open_with_desktop(page);
  });
  OKBtn = new QPushButton("Continue", this);
  OKBtn->setGeometry(327, 276, 75, 25);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TComDlg::showEvent(QShowEvent* event) {
  centre_on_screen(*this);
  QDialog::showEvent(event);
}

}  // namespace kavrol
