// data.dat: three lines, read as the old format reads them and written back.
#include "app/data_dat.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <climits>
#include <csignal>
#include <fstream>
#include <tuple>

#include "platform/posix/plain_file.h"
#include "test_host.h"

namespace murelo {
namespace {

using Values = std::tuple<std::string, std::string, int>;  // colour, name, index

TEST(DataDat, FileIsReadLineByLineAndWrittenBackExceptTheHost) {
  test::ScopedTempDir dir;
  const std::pair<std::string, Values> cases[] = {
      {"", {"red", "", 1}},                        // missing lines: defaults
      {"\n\n  -2abc\n", {"", "", -2}},             // empty lines are there
      {"bl\rue\r\n\r\n2\r\n", {"bl\rue", "", 2}},  // CR LF ends a line
      {std::string(1025, 'c') + "\n9x", {std::string(1023, 'c'), "cc", 9}},  // 1023-byte parts
      {std::string(1022, 'c') + "\r\nTaro\n3", {std::string(1022, 'c'), "Taro", 3}},
      {"red\nTaro\n99999999999", {"red", "Taro", INT_MAX}},  // atoi, saturating
  };

  CDataDat settings;
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
  CDataDat restored;
  restored.LoadSettings();
  EXPECT_EQ(restored.m_strName + std::to_string(restored.m_nLogLimitIndex) + restored.m_strHost,
            settings.m_strName + "7");
}

// What another user may plant at the files' names is left as it is: never written
// through, blocked on, or read on and on.
TEST(DataDat, PlantedFilesAreLeftAloneAndAFullDiskKeepsTheLastWholeFile) {
  test::ScopedTempDir dir;
  std::ofstream("victim") << "keep";
  CDataDat settings;
  settings.m_strColor = "blue";
  for (const auto& plant : std::vector<std::function<void()>>{
           [] { std::filesystem::create_directory(kSettingsFileName); },
           [] { mkfifo(kSettingsFileName, 0600); },  // opening it to read would wait
           [] { std::filesystem::create_symlink("/dev/zero", kSettingsFileName); },
           [] { std::filesystem::create_symlink("victim", kSettingsFileName); }}) {
    std::filesystem::remove(kSettingsFileName);
    plant();
    const auto planted = std::filesystem::symlink_status(kSettingsFileName).type();
    EXPECT_FALSE(settings.SaveSettings());
    settings.LoadSettings();
    EXPECT_EQ(settings.m_strColor + std::to_string(settings.m_nLogLimitIndex), "red1");
    RemoveRegularFile(kSettingsFileName);
    EXPECT_EQ(std::filesystem::symlink_status(kSettingsFileName).type(), planted);
  }
  EXPECT_EQ(test::ReadFile("victim"), "keep");

  // A file is replaced whole or not at all: a full disk keeps the last whole one, and
  // no piece of the new one is left beside it.
  std::filesystem::remove(kSettingsFileName);
  ASSERT_TRUE(ReplaceFile("page", std::string(100, 'a')));
  rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  const rlimit small = {4096, limit.rlim_max};
  std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);  // a disk with 4 KiB free, as a write sees it
  const bool replaced = ReplaceFile("page", std::string(5000, 'b'));
  setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_FALSE(replaced);
  EXPECT_EQ(test::ReadFile("page"), std::string(100, 'a'));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 2);  // and victim
  EXPECT_EQ(ReadRegularFile("page", 10), std::string(10, 'a'));  // never more than asked
}

}  // namespace
}  // namespace murelo
