// INI-style files: "[section]" headers and "key=value" lines. Section and key
// names match without regard to case.
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace kavrol {

// The value of `key` in `section`, or nothing when the file, the section or
// the key is absent.
std::optional<QString> ini_read(const QString& path, const QString& section, const QString& key);

// Sets `key` in `section`, adding the section or the key when absent and
// keeping every other line. The file is replaced whole, never half-written.
bool ini_write(const QString& path, const QString& section, const QString& key,
               const QString& value);

// The "key=value" lines of `section` in file order, from at most the first
// `max_chars` characters of the section's lines; empty when absent.
QStringList ini_section_lines(const QString& path, const QString& section, int max_chars);

}  // namespace kavrol
