// TInfoDlg: shows the file-information report in a read-only memo.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QFrame;
class QPlainTextEdit;
class QPushButton;

namespace kavrol {

class TInfoDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TInfoDlg(QWidget* parent = nullptr);

  QPlainTextEdit* memo() const { return Memo1; }
  // Clears the memo, then adds the lines.
  void setLines(const QStringList& lines);

 protected:
  void showEvent(QShowEvent* event) override;  // centred on the screen

 private:
  QFrame* Bevel1;
  QPlainTextEdit* Memo1;
  QPushButton* OKBtn;
};

// The memo's lines: the notice, the file's name and size, then the report.
QStringList information_lines(const QString& path, long long size, const QString& report,
                              const QString& support_address);

// The file's size in bytes, 0 when it cannot be opened for reading.
long long file_size_or_zero(const QString& path);

}  // namespace kavrol
