// A scratch folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kavrol_test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Path of a clip in the shared media folder; empty when the clip is absent.
std::string media_clip(const std::string& name);
// Every shared clip whose name ends in `extension` (".avi"), sorted; empty
// when the shared media are absent.
std::vector<std::string> media_clips(const std::string& extension);

}  // namespace kavrol_test
