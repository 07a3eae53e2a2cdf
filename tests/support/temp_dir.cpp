#include "support/temp_dir.h"

#include <stdlib.h>

#include <algorithm>
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

std::vector<std::string> media_clips(const std::string& extension) {
  std::vector<std::string> out;
#ifdef KAVROL_MEDIA_DIR
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(KAVROL_MEDIA_DIR, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
      out.push_back(entry.path().string());
  }
  std::sort(out.begin(), out.end());
#endif
  (void)extension;
  return out;
}

}  // namespace kavrol_test
