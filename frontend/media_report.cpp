#include "media_report.h"

#include <QFile>

#include "corvexa/media_player.h"
#include "engine_binding.h"

namespace kavrol {

MediaReport read_media_report(const EngineBinding* binding, const QString& path, QString& report) {
  if (binding == nullptr) return MediaReport::kNoObject;
  auto* player = static_cast<corvexa::MediaPlayer*>(binding->new_media_player());
  if (player == nullptr) return MediaReport::kNoObject;
  const QByteArray native = QFile::encodeName(path);
  if (!player->OpenInfo(native.constData())) {
    player->Release();
    return MediaReport::kNotMedia;
  }
  const char* text = player->InfoText();
  report = text != nullptr ? QString::fromLocal8Bit(text) : QString();
  player->CloseInfo();
  player->Release();
  return MediaReport::kRead;
}

}  // namespace kavrol
