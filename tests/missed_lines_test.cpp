// When a line is announced, how, and the count of missed lines.
#include "ui/missed_lines.h"

#include <gtest/gtest.h>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "platform/cp932.h"

namespace murelo {
namespace {

const std::string kBob = ToCp932(u"ボブ");
const std::string kTaro = ToCp932(u"太郎");

/// A chat line as the log holds it: line 0 and the sender.
LogEntry Line(const std::string& name, const std::string& text, const std::string& ip) {
  const std::string message = FillFormat(kChatLineFormat, {"red", name, text, ip});
  return {message.substr(0, message.find('\n')), ip};
}

TEST(MissedLines, OthersLinesWhileInactiveAreCountedAndABurstIsOneSummary) {
  CMissedLines missed;
  const auto arrive = [&](const LogEntry& entry, bool active = false, bool on = true,
                          bool fromPeer = true) {
    return missed.Arrived(entry, fromPeer, kBob, "10.0.0.2", active, on);
  };
  const LogEntry first = Line(kTaro, "<b>hi</b> &amp; &#128512;", "10.0.0.1");
  EXPECT_FALSE(arrive(first, true));  // the user is reading: not counted either
  const std::optional<CAnnouncement> one = arrive(first);
  ASSERT_TRUE(one);
  EXPECT_EQ(one->strSummary, u"太郎"_qs);
  EXPECT_EQ(one->strBody, u"太郎：hi & 😀"_qs);
  EXPECT_FALSE(one->bMention);

  EXPECT_FALSE(arrive(Line(kBob, "mine", "10.0.0.2")));  // back from the host
  // This copy's own steps: its notices carry its address but not its name.
  const std::string connected = FillFormat(kConnectedNoticeFormat, {"10.0.0.2"});
  EXPECT_FALSE(arrive({connected.substr(0, connected.find('\n')), "10.0.0.2"}, false, true, false));
  const LogEntry notice{"<b><font size=+2 color=red>" + kTaro + "</font>" +
                            ToCp932(u"さん、さようなら～♪") + "</font></b>",
                        "10.0.0.1"};
  EXPECT_EQ(arrive(notice)->strSummary, u"murelo ほか 1 件"_qs);
  EXPECT_EQ(missed.Count(), 2);

  EXPECT_FALSE(arrive(first, false, false));  // switched off, still counted
  const auto named = arrive(Line(kTaro, kBob + ToCp932(u"さん、見て"), "10.0.0.1"), false, false);
  ASSERT_TRUE(named && named->bMention);
  EXPECT_EQ(named->strSummary, u"太郎 ほか 3 件"_qs);
  EXPECT_FALSE(arrive(first, false, false));  // the mention's notification stays
  EXPECT_TRUE(arrive(first)->bMention);       // and stays critical
  missed.WindowActivated();
  EXPECT_EQ(missed.Count(), 0);
  EXPECT_EQ(arrive(first)->strSummary, u"太郎"_qs);  // a new burst
}

}  // namespace
}  // namespace murelo
