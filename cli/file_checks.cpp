#include "file_checks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kavrol {

namespace {

std::string too_long(const std::string& path) {
  if (path.size() <= kLongestPath) return {};
  return path.substr(0, 40) + "...: path too long (" + std::to_string(path.size()) +
         " bytes, at most " + std::to_string(kLongestPath) + ")";
}

}  // namespace

std::string folder_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string refuse_paths(const std::string& input, const std::string& output) {
  if (std::string why = too_long(input); !why.empty()) return why;
  if (std::string why = too_long(output); !why.empty()) return why;
  struct stat in {};
  if (::stat(input.c_str(), &in) != 0) return input + ": " + std::strerror(errno);
  if (S_ISDIR(in.st_mode)) return input + ": is a folder";
  if (!S_ISREG(in.st_mode) && !S_ISBLK(in.st_mode)) return input + ": not a regular file";

  const std::string folder = folder_of(output);
  struct stat dir {};
  if (::stat(folder.c_str(), &dir) != 0)
    return "output folder " + folder + ": " + std::strerror(errno);
  if (!S_ISDIR(dir.st_mode)) return "output folder " + folder + ": not a folder";
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return "output folder " + folder + ": not writable (" + std::strerror(errno) + ")";

  struct stat out {};
  if (::stat(output.c_str(), &out) == 0) {
    if (out.st_dev == in.st_dev && out.st_ino == in.st_ino)
      return output + ": the output is the input file";
    if (S_ISDIR(out.st_mode)) return output + ": is a folder";
    if (!S_ISREG(out.st_mode)) return output + ": exists and is not a regular file";
  }
  return {};
}

}  // namespace kavrol
