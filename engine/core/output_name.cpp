#include "core/output_name.h"

namespace corvexa::core {

std::string default_output_for(const std::string& source) {
  std::size_t dot = source.rfind('.');
  std::size_t slash = source.rfind('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    return source.substr(0, dot) + ".mpg";
  return source + ".mpg";
}

}  // namespace corvexa::core
