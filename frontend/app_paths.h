// Where the program finds its own files, and the process-wide folder of the
// active skin.
#pragma once

#include <QString>

namespace kavrol {

// The folder of the running program file.
QString program_folder();

// The folder holding the skins and the help page: beside the program when
// they are there, otherwise the installed data folder (<prefix>/share/kavrol).
QString resource_folder();
void set_resource_folder(const QString& folder);  // tests and screenshots

// The user's configuration folder (~/.config/kavrol).
QString config_folder();

// Full path of the active skin folder (SkinFolder).
QString skin_folder();
void set_skin_folder(const QString& folder);

// resource_folder() + "/SKIN" + number.
QString skin_folder_path(int number);
QString skin_folder_path(const QString& number_text);

}  // namespace kavrol
