#include "about_box.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>

#include "app_paths.h"
#include "controls/my_label.h"
#include "desktop.h"
#include "vendor.h"

namespace kavrol {

QString address_line(const QString& word, const QString& address) {
  return word + ":  " + (address.isEmpty() ? QStringLiteral("none") : address);
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About");
  setFixedSize(293, 214);

  Panel1 = new QFrame(this);
  Panel1->setGeometry(8, 8, 281, 177);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(2);

  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setGeometry(8, 8, 48, 48);
  ProgramIcon->setScaledContents(true);
  ProgramIcon->setPixmap(QPixmap(resource_folder() + "/kavrol.png"));

  QFont title_font("DejaVu Sans");
  title_font.setPixelSize(13);
  title_font.setBold(true);  // the two offset copies stay readable
  MyLabel1 = new TMyLabel(Panel1);
  MyLabel1->setGeometry(85, 17, 166, 16);
  MyLabel1->setText(kProductName);
  MyLabel1->setFont(title_font);
  MyLabel1->setBKColor(QColor(128, 128, 128));
  MyLabel1->setPREColor(QColor(0, 0, 128));

  QFont text_font("DejaVu Sans");
  text_font.setPixelSize(13);
  Version = new QLabel("Version  3.1", Panel1);
  Version->setGeometry(86, 41, 120, 16);
  Version->setFont(text_font);

  auto line = [&](const QString& text, int y) {
    auto* label = new QLabel(text, Panel1);
    label->move(7, y);
    label->setFont(text_font);
    label->adjustSize();
    return label;
  };
  MakerLabel = line(kMakerLine, 92);
  Label1 = line(address_line("HomePage", kHomePageAddress), 118);
  Comments = line(address_line("Email", kSupportAddress), 144);

  OKButton = new QPushButton("OK", this);
  OKButton->setGeometry(111, 188, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent* event) {
  centre_on_screen(*this);
  QDialog::showEvent(event);
}

}  // namespace kavrol
