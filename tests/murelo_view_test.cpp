// The conversation's state under each kind of message, and the page it writes.
#include "core/murelo_view.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "test_host.h"

namespace murelo {
namespace {

using test::ReadFile;

class ConversationTest : public testing::Test {
 protected:
  /// The active rows as "row:colour/name".
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (int i = 0; i < kMemberRows; ++i)
      if (const MemberEntry& row = view.m_Members[i]; row.bActive)
        rows.push_back(std::to_string(i) + ":" + row.strColor + "/" + row.strName);
    return rows;
  }
  /// The log as "html@sender", oldest first.
  std::vector<std::string> Log() const {
    std::vector<std::string> log;
    for (int i = 0; i < view.m_Log.Count(); ++i)
      log.push_back(view.m_Log[i].strHtml + "@" + view.m_Log[i].strSenderIp);
    return log;
  }
  void Process(std::initializer_list<std::string> messages) {
    for (const std::string& message : messages) view.ProcessMessage(message);
  }

  test::ScopedTempDir dir;
  test::CTestHost host;
  static constexpr std::chrono::milliseconds kHoldOff{50};
  CMureloView view{host, {CHAT_PORT, "", kHoldOff}};
};

TEST_F(ConversationTest, CommandsChangeTheTableAndMalformedOnesAreDisplayMessages) {
  Process({"\nadd\nred\ntaro\n", "\nadd\nred\ntaro\n", "\nadd\nblue\ntaro\n"});
  EXPECT_EQ(Rows(), (std::vector<std::string>{"17:blue/taro", "18:red/taro", "19:red/taro"}));
  EXPECT_EQ(host.navigations, 3);                           // the page follows commands too
  Process({"\ndel\nred\ntaro\n", "\ndel\nred\nnobody\n"});  // every duplicate goes
  Process({"\nchange\nblue\ntaro\ngreen\njiro\n"});
  EXPECT_EQ(Rows(), std::vector<std::string>{"17:green/jiro"});
  EXPECT_TRUE(Log().empty());

  Process({"\nADD\nred\nx\n", "\nadd\nred\nx\ny\n", "x\nadd\nred\nx\n", "\nchange\nred\nx\n", ""});
  EXPECT_EQ(Rows().size(), 1u);
  EXPECT_EQ(Log(), (std::vector<std::string>{"@ADD", "@add", "x@add", "@change", "@"}));
}

TEST_F(ConversationTest, DisplayMessagesAreBalancedAndTheLogKeepsTheNewest200) {
  Process({"<i>one\n1.1.1.1\nignored\n", std::string(kDisconnectedNotice)});
  EXPECT_EQ(Log()[0], "<i>one</i>@1.1.1.1");
  for (int i = 2; i <= 200; ++i) view.ProcessMessage("m" + std::to_string(i) + "\n2.2.2.2\n");
  EXPECT_EQ(view.m_Log.Count(), 200);
  EXPECT_EQ(Log().front().back(), '@');  // the oldest went
  EXPECT_EQ(Log().back(), "m200@2.2.2.2");

  Process({"a\nb\nc\nd\ne\nf\ng\nh\ni\nj\n"});
  EXPECT_TRUE(host.boxes.empty());
  Process({"a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\n", std::string(1023, '\n')});
  EXPECT_EQ(host.boxes.size(), 1u);  // the second came while the box was held shut
  std::this_thread::sleep_for(kHoldOff);
  Process({std::string(1023, '\n')});
  EXPECT_EQ(host.boxes, std::vector<std::string>(2, std::string(kBoxMalformedText)));
}

TEST_F(ConversationTest, ClearRequestRemovesEveryEntryOfItsSenderOnlyWhenExact) {
  view.m_strName = "taro";
  Process({FillFormat(kChatLineFormat, {"blue", "hana", "hi", "B"}), "m\nA\n", "<b>x\nA\n",
           "CLEAR\nA\n", "clear\nA\nextra\n", "no sender", "one line\n"});
  Process({FillFormat(kChatLineFormat, {"red", "taro", "please clear", "A"})});
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "<font color=blue><b>hana</b></font>\x81\x46hi@B", "@", "one line@",
                       "<font color=red><b>taro</b></font>\x81\x46please \x81\xf4\x81\x60@A"}));
  Process({"clear\n\n"});  // an empty sender clears the entries without one
  EXPECT_EQ(Log().size(), 3u);
}

TEST_F(ConversationTest, MessageHandledInsideABoxIsSeenWhenTheBoxCloses) {
  for (int i = 0; i < 199; ++i) view.ProcessMessage("old\nA\n");
  host.onMessageBox = [&](auto) { Process({"\nadd\nred\ntaro\n", "nested clear\nA\n"}); };
  view.ProcessMessage("<b>outer\nB\n3\n4\n5\n6\n7\n8\n9\n10\n11\n");
  EXPECT_EQ(Rows(), std::vector<std::string>{"19:red/taro"});
  EXPECT_EQ(Log(), (std::vector<std::string>{"nested \x81\xf4\x81\x60@A", "<b>outer</b>@B"}));
  EXPECT_NE(ReadFile("data.htm").find("<hr><b>outer</b>\n<hr>nested "), std::string::npos);
}

TEST_F(ConversationTest, PageIsByteExactAndShowsTheNewestWithinTheLimit) {
  view.m_Members[0] = {true, "taro", "red"};
  view.m_Members[7] = {true, "<i>hana", "#00ffff"};
  view.m_Members[12] = {0, "gone", "black"};
  Process({"first\n1.1.1.1\n", "<b>second</b>\n2.2.2.2\n"});
  const std::string expected =
      "<html>\n<body bgcolor=#eeeeff>\n[\x8e\x51\x89\xc1\x8e\xd2]  "
      "<font color=red>taro</font>\x81\x99<font color=#00ffff><i>hana</font>\x81\x99\n"
      "<hr><b>second</b>\n<hr>first\n";
  EXPECT_EQ(ReadFile("data.htm"), expected);

  for (int i = 0; i < 60; ++i) view.ProcessMessage("e" + std::to_string(i) + "\n1.2.3.4\n");
  for (const auto& [index, oldest] :
       {std::pair{0, "e40"}, {1, "e10"}, {-5, "e40"}, {99, "first"}}) {
    host.logLimitIndex = index;  // out of range from a damaged data.dat: clamped
    view.WritePage();
    EXPECT_TRUE(ReadFile("data.htm").ends_with("<hr>" + std::string(oldest) + "\n")) << index;
  }
}

TEST_F(ConversationTest, UnwritablePageIsReportedAndTheConversationGoesOn) {
  std::filesystem::create_directory("data.htm");
  view.OnInitialUpdate();
  view.ProcessMessage("hi\n1.2.3.4\n");
  EXPECT_EQ(host.boxes, (std::vector<std::string>{std::string(kBoxSplashWriteFailed),
                                                  std::string(kBoxPageWriteFailed),
                                                  std::string(kBoxPageWriteFailed)}));
  EXPECT_EQ(view.m_Log.Count(), 1);
  EXPECT_EQ(host.navigations, 2);  // the view still shows what the file holds
  std::filesystem::current_path("data.htm");
  std::filesystem::remove(dir.path() / "data.htm");  // a current directory that is gone
  view.ProcessMessage("hi\n1.2.3.4\n");
  EXPECT_EQ(host.boxes.size(), 3u);  // failing still: said once
  EXPECT_EQ(host.navigations, 2);
}

}  // namespace
}  // namespace murelo
