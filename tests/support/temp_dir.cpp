#include "support/temp_dir.h"

#include <stdlib.h>

#include <system_error>

namespace kavrol_test {

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "kavrol-test-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) throw std::system_error(errno, std::generic_category());
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string media_clip(const std::string& name) {
#ifdef KAVROL_MEDIA_DIR
  std::filesystem::path p = std::filesystem::path(KAVROL_MEDIA_DIR) / name;
  if (std::filesystem::exists(p)) return p.string();
#endif
  (void)name;
  return {};
}

}  // namespace kavrol_test
