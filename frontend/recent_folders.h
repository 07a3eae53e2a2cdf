// The folders the conversion dialog last took an input from and wrote an
// output to, kept in the user's configuration between runs.
#pragma once

#include <QString>

namespace kavrol {

inline constexpr const char* kLastInputFolderKey = "LastInputFolder";
inline constexpr const char* kLastOutputFolderKey = "LastOutputFolder";

// The stored folder, or empty when none is stored or it no longer exists.
QString recent_folder(const char* key);
// Stores the folder of `path` (a file).
void remember_folder_of(const char* key, const QString& path);

}  // namespace kavrol
