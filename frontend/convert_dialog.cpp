#include "convert_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kavrol {

TfrmConvert::TfrmConvert(QWidget* parent) : QDialog(parent) {
  setObjectName("frmConvert");
  setWindowTitle("Kavrol Convert");
  resize(320, 150);
  auto* layout = new QVBoxLayout(this);
  Label_Title = new QLabel(this);
  QFont bold = Label_Title->font();
  bold.setBold(true);
  Label_Title->setFont(bold);
  Details = new QLabel(this);
  Details->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* close = new QPushButton("Close", this);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(Label_Title);
  layout->addWidget(Details, 1);
  layout->addWidget(close, 0, Qt::AlignRight);
}

void TfrmConvert::setTitle(const QString& title) { Label_Title->setText(title); }
QString TfrmConvert::title() const { return Label_Title->text(); }

void TfrmConvert::refresh() {
  Details->setText(QString("Conversion code: %1%2\nOpen filter: %3\nSave filter: %4\n"
                           "Default extension: %5")
                       .arg(ConvertMode)
                       .arg(QuickTimeRoute ? " (QuickTime route)" : "")
                       .arg(OpenFilter, SaveFilter, DefaultExtension));
  adjustSize();
}

}  // namespace kavrol
