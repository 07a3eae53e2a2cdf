// The settings object and its INI file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app_paths.h"
#include "ini_file.h"
#include "settings_file.h"
#include "support/temp_dir.h"

namespace {

using kavrol::SettingsFile;

QString text_of(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

void write_text(const QString& path, const QString& text) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text.toLatin1());
}

// Each test gets an empty configuration folder and program data folder.
class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir(kavrol::config_folder()).removeRecursively();
    kavrol::set_resource_folder(shipped());
    settings_ = kavrol::NEW_KSINI();
    ASSERT_NE(settings_, nullptr);
    ASSERT_TRUE(settings_->SetFile(kavrol::kConfigFile));
  }
  void TearDown() override {
    settings_->Release();
    kavrol::set_resource_folder(QString());
    QDir(kavrol::config_folder()).removeRecursively();
  }
  QString shipped() const { return QString::fromStdString(program_.path().string()); }
  std::string read(const char* key, const char* fallback, int size = 64) {
    std::vector<char> buffer(static_cast<std::size_t>(size), '#');
    EXPECT_TRUE(settings_->ReadString(key, fallback, buffer.data(), size));
    return buffer.data();
  }

  kavrol_test::TempDir program_;
  SettingsFile* settings_ = nullptr;
};

TEST_F(Settings, LivesInTheUserConfigurationFolder) {
  EXPECT_EQ(settings_->user_path(), kavrol::config_folder() + "/config.ini");
  EXPECT_TRUE(settings_->user_path().endsWith("/kavrol/config.ini"));
  EXPECT_EQ(settings_->shipped_path(), shipped() + "/config.ini");
}

TEST_F(Settings, MissingFileOrKeyGivesTheDefault) {
  EXPECT_EQ(read("Index", "0"), "0");
  ASSERT_TRUE(settings_->WriteString("Other", "x"));
  EXPECT_EQ(read("Index", "0"), "0");
}

TEST_F(Settings, WrittenValueReadsBackThroughANewObject) {
  ASSERT_TRUE(settings_->WriteString("Index", "2"));
  ASSERT_TRUE(settings_->WriteString("index", "3"));  // keys match without case
  SettingsFile* again = kavrol::NEW_KSINI();
  again->SetFile(kavrol::kConfigFile);
  char buffer[9];
  again->ReadString("INDEX", "0", buffer, sizeof buffer);
  again->Release();
  EXPECT_STREQ(buffer, "3");
  EXPECT_EQ(text_of(settings_->user_path()), "[INI]\nIndex=3\n");
}

TEST_F(Settings, ShippedFileIsReadUntilTheUserWritesAndItsKeysAreKept) {
  write_text(shipped() + "/config.ini", "; shipped\n[INI]\nIndex=1\nLanguage=en\n[Other]\nA=b\n");
  QFile::setPermissions(shipped() + "/config.ini", QFile::ReadOwner);  // an installed, read-only copy
  EXPECT_EQ(read("Index", "0"), "1");
  ASSERT_TRUE(settings_->WriteString("Index", "2"));
  EXPECT_EQ(read("Index", "0"), "2");
  EXPECT_EQ(read("Language", ""), "en");
  EXPECT_EQ(text_of(shipped() + "/config.ini").count("Index=1"), 1);  // untouched
  EXPECT_EQ(text_of(settings_->user_path()),
            "; shipped\n[INI]\nIndex=2\nLanguage=en\n[Other]\nA=b\n");
}

TEST_F(Settings, ValueIsCutToTheBuffer) {
  ASSERT_TRUE(settings_->WriteString("Index", "123456789012"));
  EXPECT_EQ(read("Index", "0", 9), "12345678");
  EXPECT_EQ(read("Index", "0", 1), "");
  char none[1];
  EXPECT_FALSE(settings_->ReadString("Index", "0", none, 0));
}

TEST_F(Settings, IntegersAreHexText) {
  settings_->WriteInt("Count", 300);
  EXPECT_NE(text_of(settings_->user_path()).indexOf("Count=0x12c"), -1);
  EXPECT_EQ(settings_->ReadInt("Count", 7), 300);
  EXPECT_EQ(settings_->ReadInt("Absent", 7), 7);
  settings_->WriteString("Decimal", "12");  // not "0x" text
  EXPECT_EQ(settings_->ReadInt("Decimal", 5), 5);
}

TEST(IniFile, AddsSectionsAndKeysKeepingEveryOtherLine) {
  kavrol_test::TempDir dir;
  const QString path = QString::fromStdString(dir.file("a.ini"));
  write_text(path, "[A]\nx=1\n\n[B]\ny=2\n");
  ASSERT_TRUE(kavrol::ini_write(path, "a", "z", "3"));
  ASSERT_TRUE(kavrol::ini_write(path, "C", "w", "4"));
  ASSERT_TRUE(kavrol::ini_write(path, "B", "Y", "5"));
  EXPECT_EQ(text_of(path), "[A]\nx=1\nz=3\n\n[B]\ny=5\n\n[C]\nw=4\n");
  EXPECT_EQ(kavrol::ini_read(path, "b", "y").value_or("-"), "5");
  EXPECT_FALSE(kavrol::ini_read(path, "D", "y").has_value());
  EXPECT_EQ(kavrol::ini_section_lines(path, "A", 10000), QStringList({"x=1", "z=3"}));
  EXPECT_EQ(kavrol::ini_section_lines(path, "A", 6), QStringList({"x=1"}));
}

}  // namespace
