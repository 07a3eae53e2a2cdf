// TAboutBox: the program's name, version and maker.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace kavrol {

class TMyLabel;

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;  // centred on the screen

 private:
  QFrame* Panel1;
  QLabel* ProgramIcon;
  TMyLabel* MyLabel1;
  QLabel* Version;
  QLabel* MakerLabel;
  QLabel* Label1;
  QLabel* Comments;
  QPushButton* OKButton;
};

// "HomePage" / "Email" with the address, or with "none" while the project
// publishes none.
QString address_line(const QString& word, const QString& address);

}  // namespace kavrol
