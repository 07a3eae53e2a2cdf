// kavrol-cli's outputs and leftovers: a table of output names against a source
// with video and sound, signals while converting, what is not a file, long
// paths, damaged sources, and many inputs in one process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "safety_fixtures.h"
#include "support/temp_dir.h"

namespace {

using kavrol_test::listing;
using Names = std::set<std::string>;

const std::string kCli = std::string(KAVROL_BIN_DIR) + "/kavrol-cli";

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string cli(const std::string& arguments, int* status) {
  return kavrol_test::run_command("timeout 120 '" + kCli + "' " + arguments, status);
}

struct NameCase {
  const char* what;
  const char* target;
  const char* output;      // relative to the folder
  const char* setup;       // "link", "existing", "keep", "missing", "readonly" or ""
  int status;
  Names after;             // the folder's listing afterwards
  const char* says;        // part of the message, or nullptr
};

TEST(CliFiles, OutputNamesLeaveOnlyAFinishedOutput) {
  const NameCase cases[] = {
      {"same as the input", "mpeg1", "src.avi", "", 1, {"src.avi"}, "the output is the input"},
      {"the input through a symlink", "mpeg1", "link.avi", "link", 1, {"src.avi", "link.avi"},
       "the output is the input"},
      {"named like the sound stream", "mpeg1", "clip.mp2", "", 0, {"src.avi", "clip.mp2"}, nullptr},
      {"named like the MPEG-1 video", "mpeg1", "clip.m1v", "", 0, {"src.avi", "clip.m1v"}, nullptr},
      {"named like the MPEG-2 video", "dvd", "clip.m2v", "", 0, {"src.avi", "clip.m2v"}, nullptr},
      {"plain", "dvd", "out.mpg", "", 0, {"src.avi", "out.mpg"}, nullptr},
      {"over an earlier output", "mpeg2", "prev.mpg", "existing", 0, {"src.avi", "prev.mpg"},
       nullptr},
      {"beside the user's streams", "mpeg1", "keep.mpg", "keep", 0,
       {"src.avi", "keep.mpg", "keep.mp2", "keep.m1v"}, nullptr},
      {"in a missing folder", "mpeg1", "gone/out.mpg", "", 1, {"src.avi"}, "output folder"},
      {"in a read-only folder", "mpeg1", "ro/out.mpg", "readonly", 1, {"src.avi", "ro"},
       "not writable"},
  };
  for (const NameCase& c : cases) {
    kavrol_test::TempDir dir;
    const std::string folder = dir.path().string();
    const std::string source = kavrol_test::write_source(dir.file("src.avi"));
    const std::string original = contents(source);
    const std::string setup = c.setup;
    bool mounted = false;
    if (setup == "link") std::filesystem::create_symlink(source, dir.file("link.avi"));
    if (setup == "existing") std::ofstream(dir.file("prev.mpg")) << "earlier";
    if (setup == "keep")
      for (const char* name : {"keep.mp2", "keep.m1v"}) std::ofstream(dir.file(name)) << name;
    if (setup == "readonly") {
      std::filesystem::create_directory(dir.file("ro"));
      if (::geteuid() == 0) {
        // Permissions do not bind root: a read-only mount does.
        mounted = ::mount("tmpfs", dir.file("ro").c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0;
        if (!mounted) continue;
      } else {
        std::filesystem::permissions(dir.file("ro"), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_exec);
      }
    }
    int status = 0;
    const std::string said = cli("convert --target " + std::string(c.target) + " '" + source +
                                     "' -o '" + dir.file(c.output) + "'",
                                 &status);
    if (mounted) ::umount2(dir.file("ro").c_str(), MNT_DETACH);
    std::error_code ignored;  // "ro" exists only in one case
    std::filesystem::permissions(dir.file("ro"), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ignored);
    EXPECT_EQ(status, c.status) << c.what << "\n" << said;
    EXPECT_EQ(listing(folder), c.after) << c.what << "\n" << said;
    if (setup == "readonly") {
      EXPECT_TRUE(listing(dir.file("ro")).empty()) << c.what;
    }
    if (c.says != nullptr) {
      EXPECT_NE(said.find(c.says), std::string::npos) << c.what << "\n" << said;
    }
    EXPECT_EQ(contents(source), original) << c.what;
    if (setup == "keep") {
      for (const char* name : {"keep.mp2", "keep.m1v"}) EXPECT_EQ(contents(dir.file(name)), name);
    }
    if (c.status == 0) {
      // A program stream with both streams, whatever its name, of the size told.
      EXPECT_EQ(kavrol_test::container_of(dir.file(c.output)), "mpeg") << c.what;
      EXPECT_NE(said.find("(" + std::to_string(std::filesystem::file_size(dir.file(c.output))) +
                          " bytes"),
                std::string::npos)
          << c.what << "\n" << said;
    }
  }
}

// kavrol-cli started in the background with its messages in a file.
class Background {
 public:
  Background(const std::string& arguments, const std::string& log) : log_(log) {
    pid_ = ::fork();
    if (pid_ == 0) {
      std::FILE* out = std::freopen(log.c_str(), "w", stderr);
      (void)out;
      ::execl("/bin/sh", "sh", "-c", ("exec '" + kCli + "' " + arguments).c_str(), nullptr);
      ::_exit(127);
    }
  }
  // Waits until the messages show `text`; false when the program ended first.
  bool wait_for(const std::string& text) {
    for (int i = 0; i < 6000; ++i) {
      if (contents(log_).find(text) != std::string::npos) return true;
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  void signal(int sig) {
    if (pid_ > 0) ::kill(pid_, sig);
  }
  int finish() {
    if (pid_ > 0) {
      int status = 0;
      ::waitpid(pid_, &status, 0);
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      pid_ = -1;
    }
    return status_;
  }
  std::string said() const { return contents(log_); }

 private:
  std::string log_;
  pid_t pid_ = -1;
  int status_ = -1;
};

TEST(CliFiles, SignalsWhileConvertingLeaveOnlyWhatWasThere) {
  struct SignalCase {
    const char* what;
    int first, second;  // second 0: one signal only
    int status;
  } cases[] = {
      {"Ctrl-C", SIGINT, 0, 130},
      {"SIGTERM", SIGTERM, 0, 143},
      {"Ctrl-C twice", SIGINT, SIGINT, 130},
  };
  kavrol_test::TempDir logs;
  for (const SignalCase& c : cases) {
    kavrol_test::TempDir dir;
    const std::string source =
        kavrol_test::write_source(dir.file("src.avi"), kavrol_test::sized(352, 288, 150));
    std::ofstream(dir.file("prev.mpg")) << "earlier";
    const Names before = listing(dir.path().string());
    Background run("convert --target dvd '" + source + "' -o '" + dir.file("prev.mpg") + "'",
                   logs.file(std::string(c.what) + ".txt"));
    ASSERT_TRUE(run.wait_for("video ")) << c.what << "\n" << run.said();
    run.signal(c.first);
    if (c.second != 0) {
      run.wait_for("stopping");
      run.signal(c.second);
    }
    EXPECT_EQ(run.finish(), c.status) << c.what << "\n" << run.said();
    EXPECT_EQ(listing(dir.path().string()), before) << c.what;
    EXPECT_EQ(contents(dir.file("prev.mpg")), "earlier") << c.what;
  }
}

struct SourceCase {
  const char* what;
  int status;
  const char* says;
};

TEST(CliFiles, DamagedAndUnusualSourcesGetTheirExitCodesAndSayWhy) {
  kavrol_test::TempDir dir;
  kavrol_test::SourceLayout layout;
  layout.frames = 10;
  kavrol_test::write_source(dir.file("claims.avi"), layout);
  kavrol_test::claim_frames(dir.file("claims.avi"), 100000000);
  layout.sound_channels = 0;
  kavrol_test::write_source(dir.file("mute.avi"), layout);
  ASSERT_EQ(::mkfifo(dir.file("fifo.avi").c_str(), 0600), 0);
  // A 297-byte path in deep folders converts; one past PATH_MAX is refused.
  std::string deep = dir.path().string();
  while (deep.size() + 12 < 297) deep += "/" + std::string(std::min<std::size_t>(20, 297 - 12 - deep.size()), 'd');
  std::filesystem::create_directories(deep);
  const std::string deep_source = deep + "/source.avi";
  kavrol_test::write_source(deep_source, kavrol_test::sized(64, 48, 4));
  ASSERT_GE(deep_source.size(), 297u);
  const std::string too_long = dir.path().string() + "/" + std::string(4100, 'x') + ".avi";

  const struct {
    const char* what;
    std::string arguments;
    int status;
    const char* says;
    std::string output;  // "" : none expected
  } cases[] = {
      {"claims 10^8 frames", "--target mpeg1 '" + dir.file("claims.avi") + "'", 0,
       "the file holds 10", dir.file("claims.mpg")},
      {"unusable sound, DVD", "--target dvd '" + dir.file("mute.avi") + "'", 0, "0 channels",
       dir.file("mute.mpg")},
      {"a FIFO", "--target mpeg1 '" + dir.file("fifo.avi") + "'", 1, "not a regular file", ""},
      {"a 297-byte path", "--target mpeg1 '" + deep_source + "'", 0, "bytes", deep + "/source.mpg"},
      {"a path past PATH_MAX", "--target mpeg1 '" + too_long + "'", 1, "path too long", ""},
  };
  for (const auto& c : cases) {
    int status = 0;
    const std::string said = cli("convert " + c.arguments, &status);
    EXPECT_EQ(status, c.status) << c.what << "\n" << said;
    EXPECT_NE(said.find(c.says), std::string::npos) << c.what << "\n" << said;
    if (!c.output.empty()) {
      EXPECT_EQ(kavrol_test::container_of(c.output), "mpeg") << c.what;
    }
  }
  EXPECT_EQ(kavrol_test::decoded_frames(dir.file("claims.mpg")), 10);
  EXPECT_EQ(listing(dir.path().string()),
            (Names{"claims.avi", "claims.mpg", "mute.avi", "mute.mpg", "fifo.avi",
                   deep.substr(dir.path().string().size() + 1, 20)}));
}

TEST(CliFiles, FiftyInputsInOneProcessGiveTheOutputsOfSingleRuns) {
  kavrol_test::TempDir dir;
  std::string inputs;
  for (int i = 0; i < 50; ++i) {
    kavrol_test::SourceLayout layout = kavrol_test::sized(64, 48, 3 + i % 4);
    kavrol_test::write_source(dir.file("in" + std::to_string(i) + ".avi"), layout);
    inputs += " '" + dir.file("in" + std::to_string(i) + ".avi") + "'";
  }
  int status = 0;
  std::string said = cli("convert --target dvd" + inputs, &status);
  ASSERT_EQ(status, 0) << said;
  for (int i = 0; i < 4; ++i) {
    const std::string alone = dir.file("alone" + std::to_string(i) + ".mpg");
    said = cli("convert --target dvd '" + dir.file("in" + std::to_string(i) + ".avi") + "' -o '" +
                   alone + "'",
               &status);
    ASSERT_EQ(status, 0) << said;
    for (int j = i; j < 50; j += 4)
      EXPECT_EQ(contents(dir.file("in" + std::to_string(j) + ".mpg")), contents(alone)) << j;
  }
  EXPECT_EQ(listing(dir.path().string()).size(), 50u * 2 + 4);
}

}  // namespace
