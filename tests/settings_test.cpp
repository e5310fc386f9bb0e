// data.dat: three lines, read as the old format reads them, and written back.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <tuple>

#include "scratch.h"

namespace murelo {
namespace {

using Values = std::tuple<std::string, std::string, int>;  // colour, name, index

/// What LoadSettings makes of a data.dat holding bytes, starting from a set name.
Values Loaded(const std::string& bytes) {
  std::ofstream(kSettingsFileName, std::ios::binary) << bytes;
  CSettings settings;
  settings.m_strName = "before";
  settings.LoadSettings();
  return {settings.m_strColor, settings.m_strName, settings.m_nLogLimitIndex};
}

TEST(Settings, FileIsReadLineByLineWithDefaultsForWhatIsMissing) {
  test::ScopedTempDir dir;
  // settings_fuzz holds the reader to a second reading of the format on any file.
  const std::string part(1023, 'c');
  const std::pair<std::string, Values> cases[] = {
      {"", {"red", "", 1}},
      {"\n\n", {"", "", 1}},                                   // empty lines are there, not missing
      {"bl\rue\r\nTaro\r\r\n2\r\n", {"bl\rue", "Taro\r", 2}},  // CR LF ends a line
      {part + "rest\n2\nTaro", {part, "rest", 2}},             // 1023-byte parts
      {"red\nTaro\n  +3abc", {"red", "Taro", 3}},              // read as atoi reads
      {"red\nTaro\n99999999999", {"red", "Taro", INT_MAX}},
  };
  for (const auto& [bytes, values] : cases) EXPECT_EQ(Loaded(bytes), values) << bytes.substr(0, 30);
}

TEST(Settings, SavedSettingsComeBackExceptTheHost) {
  test::ScopedTempDir dir;
  CSettings saved;
  saved.m_strColor = "#00ffff";
  saved.m_strName = "\203^\203\215\201[";  // タロー
  saved.m_strHost = "192.168.0.5";
  saved.m_nLogLimitIndex = 7;  // kept as read, even out of range
  saved.SaveSettings();
  EXPECT_EQ(test::ReadFile(kSettingsFileName), "#00ffff\n\203^\203\215\201[\n7");
  CSettings restored;
  restored.LoadSettings();
  EXPECT_EQ(Values(restored.m_strColor, restored.m_strName, restored.m_nLogLimitIndex),
            Values("#00ffff", saved.m_strName, 7));
  EXPECT_EQ(restored.m_strHost, "");
}

TEST(Settings, UnwritableFileIsSkippedSilently) {
  test::ScopedTempDir dir;
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
