#include "ini_file.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

namespace kavrol {
namespace {

QStringList read_lines(const QString& path, bool* ok = nullptr) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    if (ok != nullptr) *ok = false;
    return {};
  }
  if (ok != nullptr) *ok = true;
  QStringList lines;
  QTextStream in(&file);
  while (!in.atEnd()) lines << in.readLine();
  return lines;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<QString> section_name(const QString& line) {
  QString trimmed = line.trimmed();
  if (trimmed.startsWith('[') && trimmed.endsWith(']')) return trimmed.mid(1, trimmed.size() - 2).trimmed();
  return std::nullopt;
}

bool same_name(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

bool is_comment(const QString& trimmed) { return trimmed.startsWith(';') || trimmed.startsWith('#'); }

}  // namespace

QStringList ini_section_lines(const QString& path, const QString& section, int max_chars) {
  QStringList result;
  bool inside = false;
  int used = 0;
  for (const QString& line : read_lines(path)) {
    if (auto name = section_name(line)) {
      if (inside) break;
      inside = same_name(*name, section);
      continue;
    }
    QString trimmed = line.trimmed();
    if (!inside || trimmed.isEmpty() || is_comment(trimmed)) continue;
    if (used + trimmed.size() + 1 > max_chars) break;
    used += trimmed.size() + 1;
    result << trimmed;
  }
  return result;
}

std::optional<QString> ini_read(const QString& path, const QString& section, const QString& key) {
  for (const QString& line : ini_section_lines(path, section, INT32_MAX / 2)) {
    int equals = line.indexOf('=');
    if (equals > 0 && same_name(line.left(equals).trimmed(), key)) return line.mid(equals + 1).trimmed();
  }
  return std::nullopt;
}

bool ini_write(const QString& path, const QString& section, const QString& key,
               const QString& value) {
  bool existed = false;
  QStringList lines = read_lines(path, &existed);
  if (!existed && QFile::exists(path)) return false;  // present but unreadable: keep it
  const QString entry = key + "=" + value;
  int section_start = -1, section_end = lines.size();
  for (int i = 0; i < lines.size(); ++i) {
    if (auto name = section_name(lines[i])) {
      if (section_start >= 0) {
        section_end = i;
        break;
      }
      if (same_name(*name, section)) section_start = i;
    }
  }
  if (section_start < 0) {
    if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines << QString();
    lines << "[" + section + "]" << entry;
  } else {
    int replace = -1;
    for (int i = section_start + 1; i < section_end; ++i) {
      int equals = lines[i].indexOf('=');
      if (equals > 0 && same_name(lines[i].left(equals).trimmed(), key)) {
        replace = i;
        break;
      }
    }
    if (replace >= 0) {  // the key keeps the spelling it has in the file
      lines[replace] = lines[replace].left(lines[replace].indexOf('=')).trimmed() + "=" + value;
    } else {
      int at = section_end;  // after the section's last non-empty line
      while (at > section_start + 1 && lines[at - 1].trimmed().isEmpty()) --at;
      lines.insert(at, entry);
    }
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
  QTextStream out(&file);
  for (const QString& line : lines) out << line << '\n';
  out.flush();
  return file.commit();
}

}  // namespace kavrol
