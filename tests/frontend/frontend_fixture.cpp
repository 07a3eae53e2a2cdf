#include "frontend_fixture.h"

#include <QDir>
#include <QFile>
#include <QMenu>

namespace kavrol_test {

QString SkinFolders::add_skin(int number, const QImage& face, const QStringList& controls,
                              const std::map<int, QImage>& pictures) const {
  const QString folder = root() + QString("/SKIN%1").arg(number);
  QDir().mkpath(folder);
  if (!face.isNull()) face.save(folder + "/face.bmp", "BMP");
  QFile ini(folder + "/skin.ini");
  if (ini.open(QIODevice::WriteOnly)) ini.write(("[Controls]\n" + controls.join('\n') + "\n").toLatin1());
  for (const auto& [n, picture] : pictures) picture.save(folder + QString("/ctrl%1.bmp").arg(n), "BMP");
  return folder;
}

void with_modal(const std::function<void()>& action, const std::function<void(QWidget*)>& inside) {
  QTimer::singleShot(0, [inside] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) modal = QApplication::activePopupWidget();
    if (inside) inside(modal);
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->accept();
    } else if (modal != nullptr) {
      modal->close();
    }
  });
  action();
}

}  // namespace kavrol_test
