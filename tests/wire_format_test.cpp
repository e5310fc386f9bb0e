#include "core/wire_format.h"

#include <gtest/gtest.h>

#include "core/message_catalog.h"

namespace murelo {
namespace {

std::vector<std::string> FeedAll(CMessageFramer& framer, std::initializer_list<std::string> reads) {
  std::vector<std::string> messages;
  for (const std::string& read : reads) framer.Feed(read, messages);
  return messages;
}

TEST(WireFormat, EncodesEveryByteShiftedByOneAndTerminated) {
  EXPECT_EQ(EncodeMessage("abc"), std::string("bcd\0", 4));
  EXPECT_EQ(EncodeMessage(""), std::string(1, '\0'));
  EXPECT_EQ(EncodeMessage("\x81\x40\xfe"), std::string("\x82\x41\xff\0", 4));
  EXPECT_EQ(EncodeMessage("ab\xff"
                          "cd"),
            std::string("bc\0", 3));  // 0xFF ends the text
  const std::string wire = EncodeMessage(std::string(3000, 'x'));
  EXPECT_EQ(wire.size(), 1025u);
  EXPECT_EQ(wire.back(), '\0');
  // Older copies wait for exactly these 33 bytes from a full room.
  EXPECT_EQ(EncodeMessage(kRefusalNotice).size(), 33u);
}

TEST(MessageFramer, DeliversEachMessageWholeAndInOrderHoweverTheReadsFall) {
  const std::string wire = EncodeMessage("abc") + EncodeMessage("\nadd\nred\ntaro\n") +
                           EncodeMessage(std::string(1023, 'y'));
  const std::vector<std::string> expected = {"abc", "\nadd\nred\ntaro\n", std::string(1023, 'y')};
  for (size_t cut = 0; cut <= wire.size(); cut += 7) {
    CMessageFramer framer;
    EXPECT_EQ(FeedAll(framer, {wire.substr(0, cut), wire.substr(cut)}), expected) << cut;
  }
  CMessageFramer bytewise;
  std::vector<std::string> messages;
  for (char byte : wire) bytewise.Feed(std::string_view(&byte, 1), messages);
  EXPECT_EQ(messages, expected);
}

TEST(MessageFramer, DropsTooLongTextsWholeAndKeepsWhatFollows) {
  CMessageFramer framer;
  const std::string tooLong = std::string(1024, 'z');
  std::string wire(tooLong.size(), '\0');
  for (size_t i = 0; i < tooLong.size(); ++i) wire[i] = tooLong[i] + 1;
  wire += '\0';
  EXPECT_EQ(FeedAll(framer, {wire.substr(0, 600), wire.substr(600) + EncodeMessage("next")}),
            std::vector<std::string>{"next"});
  // What a sender cuts to 1024 bytes never arrives either.
  EXPECT_EQ(FeedAll(framer, {EncodeMessage(std::string(2000, 'w')) + EncodeMessage("ok")}),
            std::vector<std::string>{"ok"});
}

TEST(MessageFramer, IgnoresLoneTerminatorsAndEndsMessagesAtBytesDecodingToZero) {
  CMessageFramer framer;
  EXPECT_EQ(FeedAll(framer, {std::string("\0\0bc\0\0\0", 7)}), std::vector<std::string>{"ab"});
  EXPECT_EQ(FeedAll(framer, {std::string("bc\x01"
                                         "de\0",
                                         6)}),
            (std::vector<std::string>{"ab", "cd"}));
  EXPECT_TRUE(FeedAll(framer, {""}).empty());
}

TEST(MessageFramer, ResetForgetsAPartialMessage) {
  CMessageFramer framer;
  EXPECT_TRUE(FeedAll(framer, {"bcd"}).empty());
  framer.Reset();
  EXPECT_EQ(FeedAll(framer, {EncodeMessage("x")}), std::vector<std::string>{"x"});
}

}  // namespace
}  // namespace murelo
