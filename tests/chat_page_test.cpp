#include <gtest/gtest.h>

#include <filesystem>

#include "core/message_catalog.h"
#include "core/murelo_view.h"
#include "test_support.h"
#include "ui/page_writer.h"

namespace murelo {
namespace {

using test::ReadFile;

class ChatPageTest : public testing::Test {
 protected:
  ChatPageTest() { host.recordPages = true; }

  void Log(int entries) {
    for (int i = 0; i < entries; ++i) view.ProcessMessage("e" + std::to_string(i) + "\n1.2.3.4\n");
  }
  int CountEntries(const std::string& page) {
    int count = 0;
    for (size_t at = page.find("<hr>"); at != std::string::npos; at = page.find("<hr>", at + 1)) {
      ++count;
    }
    return count;
  }

  test::ScopedTempDir dir;
  test::CTestHost host;
  CMureloView view{host};
};

TEST_F(ChatPageTest, ChatPageIsByteExact) {
  view.m_Members[0] = {1, "taro", "red"};
  view.m_Members[7] = {1, "<i>hana", "#00ffff"};
  view.m_Members[19] = {1, "jiro", "blue"};
  view.m_Members[12] = {0, "gone", "black"};
  view.ProcessMessage("first\n1.1.1.1\n");
  view.ProcessMessage("<b>second</b>\n2.2.2.2\n");

  const std::string expected =
      "<html>\n<body bgcolor=#eeeeff>\n"
      "[\x8e\x51\x89\xc1\x8e\xd2]  "
      "<font color=red>taro</font>\x81\x99"
      "<font color=#00ffff><i>hana</font>\x81\x99"
      "<font color=blue>jiro</font>\x81\x99"
      "\n"
      "<hr><b>second</b>\n"
      "<hr>first\n";
  EXPECT_EQ(ReadFile("data.htm"), expected);
  ASSERT_EQ(host.navigations, 2);
  EXPECT_EQ(host.lastNavigation, (dir.path() / "data.htm").string());
  EXPECT_EQ(host.shownPages.back(), expected);
}

TEST_F(ChatPageTest, EmptyConversationEndsAfterTheParticipantsLine) {
  view.WritePage();
  EXPECT_EQ(ReadFile("data.htm"), "<html>\n<body bgcolor=#eeeeff>\n[\x8e\x51\x89\xc1\x8e\xd2]  \n");
}

TEST_F(ChatPageTest, ShowsTheNewestEntriesWithinTheDisplayLimit) {
  host.logLimitIndex = 3;
  Log(30);
  std::string page = ReadFile("data.htm");
  EXPECT_EQ(CountEntries(page), 30);
  EXPECT_LT(page.find("<hr>e29\n"), page.find("<hr>e0\n"));

  host.logLimitIndex = 0;
  view.WritePage();
  page = ReadFile("data.htm");
  EXPECT_EQ(CountEntries(page), 20);
  EXPECT_TRUE(page.ends_with("<hr>e10\n"));
  EXPECT_LT(page.find("<hr>e29\n"), page.find("<hr>e10\n"));
}

TEST_F(ChatPageTest, DamagedLimitIndexIsClamped) {
  Log(120);
  host.logLimitIndex = -5;
  view.WritePage();
  EXPECT_EQ(CountEntries(ReadFile("data.htm")), 20);
  host.logLimitIndex = 99;
  view.WritePage();
  EXPECT_EQ(CountEntries(ReadFile("data.htm")), 120);
  EXPECT_EQ(DisplayLimit(1), 50);
  EXPECT_EQ(DisplayLimit(2), 100);
}

TEST_F(ChatPageTest, StartUpShowsTheSplashThenLeavesTheBlankPage) {
  view.OnInitialUpdate();
  ASSERT_EQ(host.shownPages.size(), 1u);
  const std::string& splash = host.shownPages[0];
  EXPECT_EQ(splash, kSplashPage);
  EXPECT_NE(splash.find("<table width=100% height=100%>"), std::string::npos);
  EXPECT_NE(splash.find("face=\"\x82\x6c\x82\x72 \x82\x6f\x96\xbe\x92\xa9\"><b>Murelo</FONT>"),
            std::string::npos);
  EXPECT_EQ(ReadFile("data.htm"), "<html>\n<body bgcolor=#eeeeff>");
  EXPECT_EQ(ReadFile("data.htm").size(), 29u);
  EXPECT_FALSE(host.inputEnabled);
  EXPECT_EQ(host.inputSwitches, 1);
  EXPECT_EQ(host.settingsLoads, 1);
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(ChatPageTest, UnwritablePageIsReportedAndTheConversationGoesOn) {
  std::filesystem::create_directory("data.htm");
  view.OnInitialUpdate();
  EXPECT_EQ(host.boxes, (std::vector<std::string>{std::string(kBoxSplashWriteFailed),
                                                  std::string(kBoxPageWriteFailed)}));
  view.ProcessMessage("hi\n1.2.3.4\n");
  EXPECT_EQ(host.boxes.back(), kBoxPageWriteFailed);
  EXPECT_EQ(view.m_Log.Count(), 1);
  EXPECT_EQ(host.navigations, 2);  // the view still shows what the file holds
}

TEST_F(ChatPageTest, UnreadableCurrentDirectoryNavigatesNowhere) {
  std::filesystem::create_directory("gone");
  std::filesystem::current_path("gone");
  std::filesystem::remove(dir.path() / "gone");
  view.ProcessMessage("hi\n1.2.3.4\n");
  EXPECT_EQ(host.boxes, std::vector<std::string>{std::string(kBoxPageWriteFailed)});
  EXPECT_TRUE(host.navigations == 0);
  EXPECT_FALSE(PageAddress("").has_value());
}

}  // namespace
}  // namespace murelo
