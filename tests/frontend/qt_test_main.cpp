// GoogleTest main for the front-end tests: one QApplication for all of them,
// with the user's configuration folder moved into a scratch folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <QApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  char config_template[] = "/tmp/kavrol-frontend-XXXXXX";
  const char* config = ::mkdtemp(config_template);
  if (config == nullptr) return 1;
  ::setenv("XDG_CONFIG_HOME", config, 1);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QApplication::setApplicationName("kavrol");
  const int result = RUN_ALL_TESTS();
  std::filesystem::remove_all(config);
  return result;
}
