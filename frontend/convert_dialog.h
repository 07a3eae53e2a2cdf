// TfrmConvert as far as the main window needs it: it takes a command's title,
// code, route, filters and default extension and shows them. The conversion
// itself is not wired up here yet.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace kavrol {

class TfrmConvert : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmConvert(QWidget* parent = nullptr);

  int ConvertMode = 0;
  bool QuickTimeRoute = false;
  QString OpenFilter;
  QString SaveFilter;
  QString DefaultExtension;

  void setTitle(const QString& title);
  QString title() const;
  // Refreshes the shown values from the fields; called before showing.
  void refresh();

 private:
  QLabel* Label_Title;
  QLabel* Details;
};

}  // namespace kavrol
