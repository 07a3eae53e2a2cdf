// The media-to-AVI job's dialogs in Qt Widgets: the compressor choice and
// the settings of the video compressor and of the AVI writer.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>

#include "media/codec_dialog_widgets.h"

namespace corvexa::media {

namespace {

// Dialog units: a quarter of the font's average character width across,
// an eighth of its height down.
struct DialogUnits {
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    x = std::max(1, metrics.averageCharWidth());
    y = std::max(1, metrics.height());
  }
  QRect rect(int left, int top, int width, int height) const {
    return QRect(left * x / 4, top * y / 8, width * x / 4, height * y / 8);
  }
  int x, y;
};

QListWidget* make_list(QWidget* parent, const CodecListBox& box, int id) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QString::number(id));
  for (const CodecListItem& entry : box.items) {
    auto* item = new QListWidgetItem(QString::fromUtf8(entry.text.c_str()), list);
    item->setData(Qt::UserRole, entry.data);
  }
  // The rows are already in the sorted list box's order.
  list->setCurrentRow(box.selected);
  list->setEnabled(box.enabled);
  return list;
}

QPushButton* make_button(QWidget* parent, const char* text, int id, const QRect& where) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(QString::number(id));
  button->setGeometry(where);
  return button;
}

// OK and Cancel under the form; true when the user accepted.
bool run_with_buttons(QDialog& dialog, QFormLayout& form) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  form.addRow(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace

bool dialogs_available() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

std::unique_ptr<QDialog> make_codec_dialog(CodecDialogHost& host, QWidget* parent) {
  auto dialog = std::make_unique<QDialog>(parent);
  dialog->setWindowTitle(QStringLiteral("Select Compression Codecs"));
  QFont font(QStringLiteral("Microsoft Sans Serif"));
  font.setPointSize(9);
  dialog->setFont(font);
  const DialogUnits du(dialog->font());
  dialog->setFixedSize(du.rect(0, 0, 243, 148).size());

  const CodecDialogState state = host.dialog_setup();
  QWidget* d = dialog.get();
  new QGroupBox(d);
  d->findChildren<QGroupBox*>().front()->setGeometry(du.rect(4, 0, 236, 123));
  auto* video_label = new QLabel(QStringLiteral("&Video Codecs"), d);
  video_label->setGeometry(du.rect(9, 7, 44, 8));
  QListWidget* video = make_list(d, state.video, kVideoListId);
  video->setGeometry(du.rect(9, 19, 109, 79));
  video_label->setBuddy(video);
  QPushButton* video_config = make_button(d, "Con&fig", kVideoConfigId, du.rect(31, 102, 50, 14));
  auto* audio_label = new QLabel(QStringLiteral("&Audio Codecs"), d);
  audio_label->setGeometry(du.rect(124, 7, 44, 8));
  QListWidget* audio = make_list(d, state.audio, kAudioListId);
  audio->setGeometry(du.rect(124, 18, 109, 80));
  audio_label->setBuddy(audio);
  QPushButton* audio_config = make_button(d, "Con&fig", kAudioConfigId, du.rect(159, 102, 50, 14));
  audio_config->setEnabled(false);
  QPushButton* mux = make_button(d, "Confi&gAVI", kMuxConfigId, du.rect(31, 130, 50, 11));
  QPushButton* cancel = make_button(d, "&Cancel", kCancelId, du.rect(160, 130, 35, 11));
  QPushButton* ok = make_button(d, "&OK", kOkId, du.rect(201, 130, 35, 11));
  ok->setDefault(true);

  // The set-up's selections reach the job before any change of the user's.
  host.select_audio(state.audio.selected_data());
  host.select_video(state.video.selected_data());
  video_config->setEnabled(state.video.enabled && host.video_has_config());

  QObject::connect(audio, &QListWidget::currentItemChanged, d,
                   [&host](QListWidgetItem* item, QListWidgetItem*) {
                     if (item != nullptr) host.select_audio(item->data(Qt::UserRole).toInt());
                   });
  QObject::connect(video, &QListWidget::currentItemChanged, d,
                   [&host, video_config](QListWidgetItem* item, QListWidgetItem*) {
                     if (item == nullptr) return;
                     host.select_video(item->data(Qt::UserRole).toInt());
                     video_config->setEnabled(host.video_has_config());
                   });
  QObject::connect(video_config, &QPushButton::clicked, d, [&host, d] { host.configure_video(d); });
  QObject::connect(mux, &QPushButton::clicked, d, [&host, d] { host.show_mux_properties(d); });
  QObject::connect(cancel, &QPushButton::clicked, dialog.get(), &QDialog::reject);
  QObject::connect(ok, &QPushButton::clicked, dialog.get(), &QDialog::accept);
  if (!state.video.enabled) video_config->setEnabled(false);
  return dialog;
}

bool run_codec_dialog(CodecDialogHost& host, void* parent) {
  auto dialog = make_codec_dialog(host, static_cast<QWidget*>(parent));
  return dialog->exec() == QDialog::Accepted;
}

bool edit_video_settings(const std::string& name, bool has_bit_rate,
                         platform::VideoCompressorSettings& settings, void* owner) {
  QDialog dialog(static_cast<QWidget*>(owner));
  dialog.setWindowTitle(QString::fromUtf8(name.c_str()));
  auto* form = new QFormLayout(&dialog);
  auto* bit_rate = new QSpinBox(&dialog);
  bit_rate->setObjectName(QStringLiteral("bit_rate"));
  bit_rate->setRange(0, 100000);
  bit_rate->setSuffix(QStringLiteral(" kbit/s"));
  bit_rate->setSpecialValueText(QStringLiteral("constant quality"));
  bit_rate->setValue(settings.bit_rate_kbps);
  bit_rate->setEnabled(has_bit_rate);
  auto* quality = new QSpinBox(&dialog);
  quality->setObjectName(QStringLiteral("quality"));
  quality->setRange(1, 31);
  quality->setValue(settings.quality);
  auto* key_frames = new QSpinBox(&dialog);
  key_frames->setObjectName(QStringLiteral("key_frame_interval"));
  key_frames->setRange(0, 1000);
  key_frames->setSpecialValueText(QStringLiteral("compressor's default"));
  key_frames->setValue(settings.key_frame_interval);
  form->addRow(QStringLiteral("&Bit rate:"), bit_rate);
  form->addRow(QStringLiteral("&Quality (1 best, 31 smallest):"), quality);
  form->addRow(QStringLiteral("&Key frame every (frames):"), key_frames);
  if (!run_with_buttons(dialog, *form)) return false;
  settings.bit_rate_kbps = bit_rate->value();
  settings.quality = quality->value();
  settings.key_frame_interval = key_frames->value();
  return true;
}

bool edit_writer_options(const std::string& title, platform::AviWriterOptions& options,
                         void* owner) {
  QDialog dialog(static_cast<QWidget*>(owner));
  dialog.setWindowTitle(QString::fromUtf8(title.c_str()));
  auto* form = new QFormLayout(&dialog);
  auto* interleave = new QSpinBox(&dialog);
  interleave->setObjectName(QStringLiteral("interleave"));
  interleave->setRange(100, 10000);
  interleave->setSuffix(QStringLiteral(" ms"));
  interleave->setValue(options.interleave_ms);
  auto* open_dml = new QCheckBox(QStringLiteral("Files over 1 GB as &OpenDML (AVI 2.0)"), &dialog);
  open_dml->setChecked(true);
  open_dml->setEnabled(false);  // the writer has no other way past 1 GB
  form->addRow(QStringLiteral("&Interleave every:"), interleave);
  form->addRow(open_dml);
  if (!run_with_buttons(dialog, *form)) return false;
  options.interleave_ms = interleave->value();
  return true;
}

}  // namespace corvexa::media
