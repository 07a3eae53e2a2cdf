#include "skin_catalog.h"

#include <QFileInfo>

#include "app_paths.h"
#include "ini_file.h"

namespace kavrol {

int read_decimal(QStringView text) {
  text = text.left(79);
  qsizetype i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128) {
    value = value * 10 + (text[i++].unicode() - '0');
    if (value > INT32_MAX) value = INT32_MAX;  // a huge number saturates instead of wrapping
  }
  return static_cast<int>(negative ? -value : value);
}

QVector<ControlPlacement> parse_controls(const QStringList& lines) {
  QVector<ControlPlacement> placements;
  for (const QString& line : lines.mid(0, kControlsMaxLines)) {
    const qsizetype equals = line.indexOf('=');
    const QStringView all(line);
    ControlPlacement p;
    if (equals < 0) {
      p.number = read_decimal(all);
    } else {
      p.number = read_decimal(all.left(equals));
      const qsizetype comma = line.indexOf(',', equals + 1);
      if (comma < 0) {
        p.left = read_decimal(all.mid(equals + 1));
      } else {
        p.left = read_decimal(all.mid(equals + 1, comma - equals - 1));
        p.top = read_decimal(all.mid(comma + 1));
      }
    }
    placements << p;
  }
  return placements;
}

QVector<ControlPlacement> read_skin_controls(const QString& folder) {
  return parse_controls(ini_section_lines(folder + "/skin.ini", "Controls", kControlsSectionChars));
}

int button_picture_number(int button) { return button == 11 ? 12 : button; }

QVector<int> available_skins() {
  QVector<int> skins;
  for (int i = 0; QFileInfo(skin_folder_path(i)).isDir(); ++i) skins << i;
  return skins;
}

int next_skin(int current) {
  const int n = current + 1;
  return QFileInfo(skin_folder_path(n)).isDir() ? n : 0;
}

}  // namespace kavrol
