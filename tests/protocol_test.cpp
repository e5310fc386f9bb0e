// What goes over the wire and how a message is read: the byte shift and framing, the
// fixed texts, line splitting and tag balancing.
#include <gtest/gtest.h>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/message_lines.h"
#include "core/wire_format.h"

namespace murelo {
namespace {

std::vector<std::string> Frame(std::initializer_list<std::string> reads) {
  CMessageFramer framer;
  std::vector<std::string> messages;
  for (const std::string& read : reads) framer.Feed(read, messages);
  return messages;
}

TEST(WireFormat, EncodesEveryByteShiftedByOneAndTerminated) {
  EXPECT_EQ(EncodeMessage("abc"), std::string("bcd\0", 4));
  EXPECT_EQ(EncodeMessage("\x81\x40\xfe"), std::string("\x82\x41\xff\0", 4));
  EXPECT_EQ(EncodeMessage("ab\xff"
                          "cd"),
            std::string("bc\0", 3));  // 0xFF ends the text
  EXPECT_EQ(EncodeMessage(std::string(3000, 'x')).size(), 1025u);
  // Older copies wait for exactly these 33 bytes from a full room.
  EXPECT_EQ(EncodeMessage(kRefusalNotice).size(), 33u);
}

TEST(WireFormat, FramerDeliversWholeMessagesHoweverTheReadsFall) {
  const std::string wire = EncodeMessage("abc") + EncodeMessage("\nadd\nred\ntaro\n") +
                           EncodeMessage(std::string(1023, 'y'));
  const std::vector<std::string> expected = {"abc", "\nadd\nred\ntaro\n", std::string(1023, 'y')};
  for (size_t cut = 0; cut <= wire.size(); cut += 7) {
    EXPECT_EQ(Frame({wire.substr(0, cut), wire.substr(cut)}), expected) << cut;
  }
  // Too long a text is dropped whole, what follows it kept; lone terminators are
  // skipped, and a byte that decodes to 0x00 ends a message too.
  std::string tooLong(1024, '{');
  EXPECT_EQ(Frame({tooLong.substr(0, 600), tooLong.substr(600) + '\0' + EncodeMessage("next")}),
            std::vector<std::string>{"next"});
  const std::string terminators("\0\0bc\1de\0", 8);
  EXPECT_EQ(Frame({terminators}), (std::vector<std::string>{"ab", "cd"}));
}

TEST(MessageTexts, FillInOrderAndKeepPercentSignsOfArguments) {
  EXPECT_EQ(FillFormat(kAddCommandFormat, {"red", "taro"}), "\nadd\nred\ntaro\n");
  EXPECT_EQ(FillFormat("<%s|%s>%s", {"100%s", "%d"}), "<100%s|%d>");
}

TEST(MessageLines, CountsEveryLineStoresElevenAndDropsTheUnterminatedTail) {
  LineTable lines;
  EXPECT_EQ(SplitMessageLines("hello", lines), 0);
  EXPECT_EQ(SplitMessageLines("a\r\n\nb\ntail", lines), 3);
  EXPECT_EQ(lines[0] + lines[3], "a\r");
  std::string many;
  for (int i = 0; i < 1023; ++i) many += std::to_string(i % 10) + "\n";
  EXPECT_EQ(SplitMessageLines(many, lines), 1023);
  EXPECT_EQ(lines[10], "0");
  EXPECT_EQ(SplitMessageLines(std::string(3000, 'x') + "\nip\n", lines), 2);  // taken whole
  EXPECT_EQ(lines[0].size(), 3000u);
}

TEST(MessageLines, BalanceTagsAppendsTheMissingClosingTagsInOpeningOrder) {
  const std::string far(1020, 'x');  // only the first 1024 bytes are read
  const std::pair<std::string, std::string> cases[] = {
      {"<b><i><font color=red>x</b>", "<b><i><font color=red>x</b></i></font>"},
      {"<B>x</b><>", "<B>x</b><></B></>"},     // names as written, an empty one too
      {"</b><b><b>x</b>", "</b><b><b>x</b>"},  // a closing tag anywhere answers once
      {"a< b><font color=red", "a< b><font color=red</font>"},
      {"a<br>b<BR>", "a<br>b<BR></br></BR>"},
      {"<b>x<i", "<b>x<i</b>"},  // an unterminated tag stops the scan
      {far + "ab<i>x", far + "ab<i>x"},
      {far + "<i></i>", far + "<i></i></i>"},
  };
  for (auto [line, balanced] : cases) {
    BalanceTags(line);
    EXPECT_EQ(line, balanced);
  }
}

}  // namespace
}  // namespace murelo
