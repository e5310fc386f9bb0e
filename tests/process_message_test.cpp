#include <gtest/gtest.h>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/murelo_view.h"
#include "test_support.h"

namespace murelo {
namespace {

class ProcessMessageTest : public testing::Test {
 protected:
  std::vector<int> ActiveRows() const {
    std::vector<int> rows;
    for (int i = 0; i < kMemberRows; ++i) {
      if (view.m_Members[i].bActive) rows.push_back(i);
    }
    return rows;
  }
  std::vector<std::string> Senders() const {
    std::vector<std::string> senders;
    for (int i = 0; i < view.m_Log.Count(); ++i) senders.push_back(view.m_Log[i].strSenderIp);
    return senders;
  }
  const LogEntry& Newest() const { return view.m_Log[view.m_Log.Count() - 1]; }

  test::ScopedTempDir dir;
  test::CTestHost host;
  CMureloView view{host};
};

TEST_F(ProcessMessageTest, AddFillsRowsFromTheTopAndDelRemovesEveryDuplicate) {
  view.ProcessMessage("\nadd\nred\ntaro\n");
  EXPECT_EQ(ActiveRows(), std::vector<int>{19});
  EXPECT_EQ(view.m_Members[19].strColor, "red");
  EXPECT_EQ(view.m_Members[19].strName, "taro");
  view.ProcessMessage("\nadd\nred\ntaro\n");
  view.ProcessMessage("\nadd\nblue\ntaro\n");
  EXPECT_EQ(ActiveRows(), (std::vector<int>{17, 18, 19}));
  EXPECT_EQ(view.m_Log.Count(), 0);
  EXPECT_EQ(host.navigations, 3);  // the page follows commands too

  view.ProcessMessage("\ndel\nred\ntaro\n");
  EXPECT_EQ(ActiveRows(), std::vector<int>{17});
  view.ProcessMessage("\ndel\nred\nnobody\n");
  EXPECT_EQ(ActiveRows(), std::vector<int>{17});
  EXPECT_EQ(view.m_Log.Count(), 0);
}

TEST_F(ProcessMessageTest, AddWithEveryRowTakenChangesNothing) {
  for (int i = 0; i < kMemberRows; ++i)
    view.ProcessMessage("\nadd\nred\nm" + std::to_string(i) + "\n");
  EXPECT_EQ(view.m_Members[0].strName, "m19");
  view.ProcessMessage("\nadd\nblue\nlate\n");
  EXPECT_EQ(view.m_Members[0].strName, "m19");
  EXPECT_EQ(view.m_Log.Count(), 0);
}

TEST_F(ProcessMessageTest, ChangeTouchesOnlyTheFirstActiveMatch) {
  view.m_Members[3] = {1, "taro", "red"};
  view.m_Members[5] = {0, "hana", "red"};
  view.m_Members[7] = {1, "taro", "red"};
  view.ProcessMessage("\nchange\nred\ntaro\nblue\njiro\n");
  EXPECT_EQ(view.m_Members[3].strName, "jiro");
  EXPECT_EQ(view.m_Members[3].strColor, "blue");
  EXPECT_EQ(view.m_Members[7].strName, "taro");

  view.ProcessMessage("\nchange\nred\nhana\nblue\nx\n");  // inactive rows never match
  EXPECT_EQ(view.m_Members[5].strName, "hana");
  EXPECT_EQ(view.m_Log.Count(), 0);
}

TEST_F(ProcessMessageTest, MalformedCommandsAreDisplayMessages) {
  view.ProcessMessage("\nADD\nred\ntaro\n");
  view.ProcessMessage("\nadd\nred\ntaro\nx\n");
  view.ProcessMessage("x\nadd\nred\ntaro\n");
  view.ProcessMessage("\nchange\nred\ntaro\n");
  view.ProcessMessage("hello");
  view.ProcessMessage("");
  EXPECT_TRUE(ActiveRows().empty());
  EXPECT_EQ(Senders(), (std::vector<std::string>{"ADD", "add", "add", "change", "", ""}));
  EXPECT_EQ(view.m_Log[0].strHtml, "");
  EXPECT_EQ(view.m_Log[2].strHtml, "x");
}

TEST_F(ProcessMessageTest, DisplayMessagesAreBalancedAndLoggedUpTo200) {
  view.ProcessMessage("<i>one\n1.1.1.1\nignored\n");
  EXPECT_EQ(view.m_Log[0].strHtml, "<i>one</i>");
  EXPECT_EQ(view.m_Log[0].strSenderIp, "1.1.1.1");

  view.ProcessMessage(std::string(kDisconnectedNotice));
  EXPECT_EQ(Newest().strSenderIp, "");

  for (int i = 2; i < 200; ++i) view.ProcessMessage("m" + std::to_string(i) + "\n2.2.2.2\n");
  EXPECT_EQ(view.m_Log.Count(), 200);
  view.ProcessMessage("last\n3.3.3.3\n");
  EXPECT_EQ(view.m_Log.Count(), 200);
  EXPECT_EQ(view.m_Log[0].strSenderIp, "");  // the first entry was dropped
  EXPECT_EQ(view.m_Log[1].strHtml, "m2");
  EXPECT_EQ(Newest().strHtml, "last");
}

TEST_F(ProcessMessageTest, ClearRequestRemovesEveryEntryOfItsSender) {
  view.m_szOwnIp = "10.0.0.1";
  view.m_strName = "taro";
  view.m_strColor = "red";
  view.ProcessMessage(FillFormat(kJoinNoticeFormat, {"red", "taro", "10.0.0.1"}));
  view.ProcessMessage(FillFormat(kChatLineFormat, {"blue", "hana", "hi", "10.0.0.2"}));
  view.ProcessMessage(FillFormat(kAcceptedNoticeFormat, {"10.0.0.1"}));
  view.ProcessMessage(FillFormat(kChatLineFormat, {"red", "renamed", "yo", "10.0.0.1"}));

  view.ProcessMessage(FillFormat(kChatLineFormat, {"red", "taro", "please clear", "10.0.0.1"}));
  EXPECT_EQ(Senders(), (std::vector<std::string>{"10.0.0.2", "10.0.0.1"}));
  EXPECT_EQ(Newest().strHtml, "<font color=red><b>taro</b></font>\x81\x46please \x81\xf4\x81\x60");
}

TEST_F(ProcessMessageTest, ClearRequestOnAFullLogLowersTheCount) {
  for (int i = 0; i < 200; ++i) view.ProcessMessage("m\n" + std::string(i % 4 ? "B" : "A") + "\n");
  view.ProcessMessage("nuclear\nA\n");
  EXPECT_EQ(view.m_Log.Count(), 151);
  EXPECT_EQ(Newest().strHtml, "nu\x81\xf4\x81\x60");
  EXPECT_EQ(view.m_Log[149].strSenderIp, "B");
}

TEST_F(ProcessMessageTest, OnlyExactTwoLineClearRequestsClear) {
  view.ProcessMessage("a\nA\n");
  view.ProcessMessage("CLEAR\nA\n");
  view.ProcessMessage("lear\nA\n");
  view.ProcessMessage("clear\nA\nextra\n");
  EXPECT_EQ(view.m_Log.Count(), 4);
  EXPECT_EQ(Newest().strHtml, "clear");
}

TEST_F(ProcessMessageTest, ClearRequestWithEmptySenderRemovesSenderlessEntries) {
  view.ProcessMessage("no line feed");
  view.ProcessMessage("one line\n");
  view.ProcessMessage("kept\nA\n");
  view.ProcessMessage("clear\n\n");
  EXPECT_EQ(Senders(), (std::vector<std::string>{"A", ""}));
  EXPECT_EQ(Newest().strHtml, "\x81\xf4\x81\x60");
}

TEST_F(ProcessMessageTest, MoreThanTenLinesIsReportedOnce) {
  view.ProcessMessage("a\nb\nc\nd\ne\nf\ng\nh\ni\nj\n");
  EXPECT_TRUE(host.boxes.empty());
  view.ProcessMessage("a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\n");
  view.ProcessMessage("a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\nl\n");
  view.ProcessMessage(std::string(1023, '\n'));
  EXPECT_EQ(host.boxes, std::vector<std::string>(3, std::string(kBoxMalformedText)));
  EXPECT_EQ(Senders(), (std::vector<std::string>{"b", "b", "b", ""}));
}

TEST_F(ProcessMessageTest, MessageProcessedInsideTheBoxIsSeenByTheWaitingOne) {
  for (int i = 0; i < 199; ++i) view.ProcessMessage("old\nA\n");
  host.onMessageBox = [&](std::string_view) {
    host.onMessageBox = nullptr;
    view.ProcessMessage("\nadd\nred\ntaro\n");
    view.ProcessMessage("nested clear\nA\n");
  };
  view.ProcessMessage("<b>outer\nB\n3\n4\n5\n6\n7\n8\n9\n10\n11\n");

  EXPECT_EQ(ActiveRows(), std::vector<int>{19});
  EXPECT_EQ(Senders(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(Newest().strHtml, "<b>outer</b>");
  EXPECT_NE(test::ReadFile("data.htm").find("<hr><b>outer</b>\n<hr>nested "), std::string::npos);
}

TEST_F(ProcessMessageTest, ResetMembersMakesRowZeroThisUser) {
  view.m_Members[4] = {1, "x", "y"};
  view.ResetMembers();
  EXPECT_EQ(ActiveRows(), std::vector<int>{0});
  EXPECT_EQ(view.m_Members[0].strName, "");
  EXPECT_EQ(view.m_Members[0].strColor, "");
  view.m_strName = "taro";
  view.m_strColor = "red";
  view.ResetMembers();
  EXPECT_EQ(view.m_Members[0].strName, "taro");
}

}  // namespace
}  // namespace murelo
