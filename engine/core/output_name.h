// The output a conversion writes when the caller names none.
#pragma once

#include <string>

namespace corvexa::core {

// The source with its last extension replaced by ".mpg" (appended when the
// file name has no extension; a dot in a folder name does not count).
std::string default_output_for(const std::string& source);

}  // namespace corvexa::core
