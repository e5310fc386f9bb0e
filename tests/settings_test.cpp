// data.dat: three lines, read as the old format reads them and written back.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <tuple>

#include "test_host.h"

namespace murelo {
namespace {

using Values = std::tuple<std::string, std::string, int>;  // colour, name, index

TEST(Settings, FileIsReadLineByLineAndWrittenBackExceptTheHost) {
  test::ScopedTempDir dir;
  const std::pair<std::string, Values> cases[] = {
      {"", {"red", "", 1}},                        // missing lines: defaults
      {"\n\n  -2abc\n", {"", "", -2}},             // empty lines are there
      {"bl\rue\r\n\r\n2\r\n", {"bl\rue", "", 2}},  // CR LF ends a line
      {std::string(1025, 'c') + "\n9x", {std::string(1023, 'c'), "cc", 9}},  // 1023-byte parts
      {std::string(1022, 'c') + "\r\nTaro\n3", {std::string(1022, 'c'), "Taro", 3}},
      {"red\nTaro\n99999999999", {"red", "Taro", INT_MAX}},  // atoi, saturating
  };

  CSettings settings;
  for (const auto& [bytes, values] : cases) {
    std::ofstream(kSettingsFileName, std::ios::binary) << bytes;
    settings.LoadSettings();
    EXPECT_EQ(Values(settings.m_strColor, settings.m_strName, settings.m_nLogLimitIndex), values);
  }
  settings.m_strName = "\203^\203\215\201[";  // タロー
  settings.m_strHost = "192.168.0.5";
  settings.m_nLogLimitIndex = 7;  // kept as read, even out of range
  settings.SaveSettings();
  EXPECT_EQ(test::ReadFile(kSettingsFileName), "red\n\203^\203\215\201[\n7");
  CSettings restored;
  restored.LoadSettings();
  EXPECT_EQ(restored.m_strName + std::to_string(restored.m_nLogLimitIndex) + restored.m_strHost,
            settings.m_strName + "7");
}

TEST(Settings, UnwritableFileIsSkippedSilently) {
  test::ScopedTempDir dir;
  std::filesystem::create_directory(kSettingsFileName);
  CSettings settings;
  settings.m_strColor = "blue";
  settings.SaveSettings();
  EXPECT_TRUE(std::filesystem::is_directory(kSettingsFileName));
  settings.LoadSettings();  // a directory opens but reads as nothing
  EXPECT_EQ(settings.m_strColor + std::to_string(settings.m_nLogLimitIndex), "red1");
}

}  // namespace
}  // namespace murelo
