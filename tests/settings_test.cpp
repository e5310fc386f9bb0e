#include "app/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "test_support.h"

namespace murelo {
namespace {

using test::ReadFile;
using Values = std::tuple<std::string, std::string, int>;  // colour, name, index

class SettingsTest : public testing::Test {
 protected:
  /// What LoadSettings makes of a data.dat holding bytes, starting from a set name.
  Values Loaded(const std::string& bytes) {
    std::ofstream(kSettingsFileName, std::ios::binary) << bytes;
    CSettings settings;
    settings.m_strName = "before";
    settings.LoadSettings();
    return {settings.m_strColor, settings.m_strName, settings.m_nLogLimitIndex};
  }

  test::ScopedTempDir dir;
};

TEST_F(SettingsTest, MissingFileGivesDefaultsKeepsTheNameAndSavesThem) {
  CSettings settings;
  settings.m_strName = "taro";
  settings.LoadSettings();
  EXPECT_EQ(Values(settings.m_strColor, settings.m_strName, settings.m_nLogLimitIndex),
            Values("red", "taro", 1));
  settings.m_strName.clear();
  settings.SaveSettings();
  EXPECT_EQ(ReadFile(kSettingsFileName), "red\n\n1");
}

TEST_F(SettingsTest, SavedSettingsComeBackExceptTheHost) {
  CSettings saved;
  saved.m_strColor = "#00ffff";
  saved.m_strName = "\203^\203\215\201[";  // タロー
  saved.m_strHost = "192.168.0.5";
  saved.m_nLogLimitIndex = 3;
  saved.SaveSettings();
  EXPECT_EQ(ReadFile(kSettingsFileName), "#00ffff\n\203^\203\215\201[\n3");

  CSettings restored;
  restored.LoadSettings();
  EXPECT_EQ(Values(restored.m_strColor, restored.m_strName, restored.m_nLogLimitIndex),
            Values("#00ffff", saved.m_strName, 3));
  EXPECT_EQ(restored.m_strHost, "");
}

TEST_F(SettingsTest, CrLfEndsALineAsLfDoes) {
  EXPECT_EQ(Loaded("blue\r\nTaro\r\n2\r\n"), Values("blue", "Taro", 2));
  // A carriage return anywhere else belongs to the value.
  EXPECT_EQ(Loaded("bl\rue\nTaro\r\r\n2"), Values("bl\rue", "Taro\r", 2));
}

TEST_F(SettingsTest, LongLinesAreReadIn1023BytePartsThatCountAsLines) {
  const std::string part(1023, 'c');
  EXPECT_EQ(Loaded(part + "rest\n2\nTaro"), Values(part, "rest", 2));
  // A line of exactly 1023 bytes leaves its line feed for the next read.
  EXPECT_EQ(Loaded(part + "\n2\n"), Values(part, "", 2));
  // CR LF takes one byte of a part, as in text mode.
  EXPECT_EQ(Loaded(part.substr(1) + "\r\nTaro\r\n3"), Values(part.substr(1), "Taro", 3));
}

TEST_F(SettingsTest, MissingLinesGiveTheirDefaults) {
  EXPECT_EQ(Loaded(""), Values("red", "", 1));
  EXPECT_EQ(Loaded("blue\n"), Values("blue", "", 1));
  EXPECT_EQ(Loaded("blue\nTaro"), Values("blue", "Taro", 1));
  EXPECT_EQ(Loaded("\n\n"), Values("", "", 1));  // empty lines are there, not missing
}

TEST_F(SettingsTest, IndexLineReadsLikeAtoiAndIsKeptAsRead) {
  EXPECT_EQ(std::get<2>(Loaded("red\nTaro\n2abc")), 2);
  EXPECT_EQ(std::get<2>(Loaded("red\nTaro\nabc")), 0);
  EXPECT_EQ(std::get<2>(Loaded("red\nTaro\n\n")), 0);
  EXPECT_EQ(std::get<2>(Loaded("red\nTaro\n  +3")), 3);
  EXPECT_EQ(std::get<2>(Loaded("red\nTaro\n-1")), -1);
  EXPECT_EQ(std::get<2>(Loaded("red\nTaro\n99999999999")), INT_MAX);

  CSettings settings;
  settings.LoadSettings();  // the file of the last line above
  settings.m_nLogLimitIndex = 7;
  settings.SaveSettings();
  settings.LoadSettings();
  EXPECT_EQ(settings.m_nLogLimitIndex, 7);
}

TEST_F(SettingsTest, UnwritableFileIsSkippedSilently) {
  std::filesystem::create_directory(kSettingsFileName);
  CSettings settings;
  settings.m_strColor = "blue";
  settings.SaveSettings();
  EXPECT_TRUE(std::filesystem::is_directory(kSettingsFileName));
  settings.LoadSettings();  // a directory opens but reads as nothing
  EXPECT_EQ(settings.m_strColor, "red");
  EXPECT_EQ(settings.m_nLogLimitIndex, 1);
}

}  // namespace
}  // namespace murelo
