#include "info_dialog.h"

#include <cstdio>

#include <QFileInfo>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>

#include "desktop.h"

namespace kavrol {

TInfoDlg::TInfoDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("InfoDlg");
  setWindowTitle("File Information");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(313, 314);

  Bevel1 = new QFrame(this);
  Bevel1->setGeometry(8, 8, 297, 265);
  Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setGeometry(16, 16, 281, 249);
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPalette memo = Memo1->palette();
  memo.setColor(QPalette::Base, memo.color(QPalette::Button));  // the scroll bars' colour
  Memo1->setPalette(memo);

  OKBtn = new QPushButton("OK", this);
  OKBtn->setGeometry(116, 284, 75, 25);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TInfoDlg::setLines(const QStringList& lines) {
  Memo1->clear();
  Memo1->setPlainText(lines.join('\n'));
  Memo1->moveCursor(QTextCursor::Start);
}

QStringList information_lines(const QString& path, long long size, const QString& report,
                              const QString& support_address) {
  const QString dashes(14, '-');
  QStringList lines;
  lines << "Notice:"
        << "    You can send Email to us about the information,"
        << "    if the file can not be converted !"
        << dashes + "  " + support_address + "  " + dashes
        << "File Name: " + QFileInfo(path).fileName() << QString()
        << "File Size: " + QString::number(size) << QString();
  // The report's own line breaks become memo lines.
  QString text = report;
  text.replace("\r\n", "\n");
  lines << text.split('\n');
  return lines;
}

long long file_size_or_zero(const QString& path) {
  std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
  if (file == nullptr) return 0;
  long long size = 0;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    long position = std::ftell(file);
    size = position > 0 ? position : 0;
  }
  std::fclose(file);
  return size;
}

void TInfoDlg::showEvent(QShowEvent* event) {
  centre_on_screen(*this);
  QDialog::showEvent(event);
}

}  // namespace kavrol
