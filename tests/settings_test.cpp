#include "app/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include "test_support.h"

namespace murelo {
namespace {

using test::ReadFile;

class SettingsTest : public testing::Test {
 protected:
  void WriteSettingsFile(const std::string& bytes) {
    std::ofstream(kSettingsFileName, std::ios::binary) << bytes;
  }
  CSettings Loaded(const std::string& bytes) {
    WriteSettingsFile(bytes);
    CSettings settings;
    settings.m_strName = "before";
    settings.LoadSettings();
    return settings;
  }

  test::ScopedTempDir dir;
};

TEST_F(SettingsTest, MissingFileGivesDefaultsAndKeepsTheName) {
  CSettings settings;
  settings.m_strName = "taro";
  settings.LoadSettings();
  EXPECT_EQ(settings.m_strColor, "red");
  EXPECT_EQ(settings.m_strName, "taro");
  EXPECT_EQ(settings.m_nLogLimitIndex, 1);
}

TEST_F(SettingsTest, FirstStartThenCloseWritesTheDefaults) {
  CSettings settings;
  settings.LoadSettings();
  settings.SaveSettings();
  EXPECT_EQ(ReadFile(kSettingsFileName), "red\n\n1");
}

TEST_F(SettingsTest, SavedSettingsComeBackExceptTheHost) {
  CSettings saved;
  saved.m_strColor = "#00ffff";
  saved.m_strName = "\203^\203\215\201[";  // タロー in CP932
  saved.m_strHost = "192.168.0.5";
  saved.m_nLogLimitIndex = 3;
  saved.SaveSettings();
  EXPECT_EQ(ReadFile(kSettingsFileName), "#00ffff\n\203^\203\215\201[\n3");

  CSettings restored;
  restored.LoadSettings();
  EXPECT_EQ(restored.m_strColor, "#00ffff");
  EXPECT_EQ(restored.m_strName, saved.m_strName);
  EXPECT_EQ(restored.m_nLogLimitIndex, 3);
  EXPECT_EQ(restored.m_strHost, "");
}

TEST_F(SettingsTest, CrLfLineEndsReadLikeLineFeeds) {
  const CSettings crlf = Loaded("blue\r\nTaro\r\n2\r\n");
  EXPECT_EQ(crlf.m_strColor, "blue");
  EXPECT_EQ(crlf.m_strName, "Taro");
  EXPECT_EQ(crlf.m_nLogLimitIndex, 2);
  // A carriage return anywhere else belongs to the value.
  EXPECT_EQ(Loaded("bl\rue\nTaro\r\r\n2").m_strColor, "bl\rue");
  EXPECT_EQ(Loaded("bl\rue\nTaro\r\r\n2").m_strName, "Taro\r");
}

TEST_F(SettingsTest, LongLinesAreReadIn1023BytePartsThatCountAsLines) {
  const std::string part(1023, 'c');
  const CSettings split = Loaded(part + "rest\n2\nTaro");
  EXPECT_EQ(split.m_strColor, part);
  EXPECT_EQ(split.m_strName, "rest");
  EXPECT_EQ(split.m_nLogLimitIndex, 2);

  // A line of exactly 1023 bytes leaves its line feed for the next read.
  const CSettings exact = Loaded(part + "\n2\n");
  EXPECT_EQ(exact.m_strColor, part);
  EXPECT_EQ(exact.m_strName, "");
  EXPECT_EQ(exact.m_nLogLimitIndex, 2);

  // With CR LF, the line end takes one byte of the part, as in text mode.
  const CSettings fits = Loaded(std::string(1022, 'c') + "\r\nTaro\r\n3");
  EXPECT_EQ(fits.m_strColor, std::string(1022, 'c'));
  EXPECT_EQ(fits.m_strName, "Taro");
  EXPECT_EQ(fits.m_nLogLimitIndex, 3);
}

TEST_F(SettingsTest, MissingLinesGiveTheirDefaults) {
  const CSettings empty = Loaded("");
  EXPECT_EQ(empty.m_strColor, "red");
  EXPECT_EQ(empty.m_strName, "");
  EXPECT_EQ(empty.m_nLogLimitIndex, 1);

  const CSettings colorOnly = Loaded("blue\n");
  EXPECT_EQ(colorOnly.m_strColor, "blue");
  EXPECT_EQ(colorOnly.m_strName, "");
  EXPECT_EQ(colorOnly.m_nLogLimitIndex, 1);

  const CSettings twoLines = Loaded("blue\nTaro");
  EXPECT_EQ(twoLines.m_strName, "Taro");
  EXPECT_EQ(twoLines.m_nLogLimitIndex, 1);

  // Empty lines are present, not missing.
  const CSettings emptyLines = Loaded("\n\n");
  EXPECT_EQ(emptyLines.m_strColor, "");
  EXPECT_EQ(emptyLines.m_strName, "");
  EXPECT_EQ(emptyLines.m_nLogLimitIndex, 1);
}

TEST_F(SettingsTest, IndexLineReadsLikeAtoiAndIsKeptAsRead) {
  EXPECT_EQ(Loaded("red\nTaro\n2abc").m_nLogLimitIndex, 2);
  EXPECT_EQ(Loaded("red\nTaro\nabc").m_nLogLimitIndex, 0);
  EXPECT_EQ(Loaded("red\nTaro\n  +3").m_nLogLimitIndex, 3);
  EXPECT_EQ(Loaded("red\nTaro\n\n").m_nLogLimitIndex, 0);
  EXPECT_EQ(Loaded("red\nTaro\n7").m_nLogLimitIndex, 7);
  EXPECT_EQ(Loaded("red\nTaro\n-1").m_nLogLimitIndex, -1);
  EXPECT_EQ(Loaded("red\nTaro\n99999999999").m_nLogLimitIndex, INT_MAX);

  CSettings settings = Loaded("red\nTaro\n7");
  settings.SaveSettings();
  EXPECT_EQ(ReadFile(kSettingsFileName), "red\nTaro\n7");
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

TEST(CutAtLineFeed, EndsTheTextAtItsFirstLineFeedOnly) {
  char twoLines[] = "ab\ncd\n";
  CSettings::CutAtLineFeed(twoLines);
  EXPECT_STREQ(twoLines, "ab");
  char noLineFeed[] = "ab\r";
  CSettings::CutAtLineFeed(noLineFeed);
  EXPECT_STREQ(noLineFeed, "ab\r");
  char empty[] = "";
  CSettings::CutAtLineFeed(empty);
  EXPECT_STREQ(empty, "");
}

}  // namespace
}  // namespace murelo
