// What goes over the wire: the byte shift, the terminator and the framing across reads.
#include "core/wire_format.h"

#include <gtest/gtest.h>

#include "core/message_catalog.h"

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
  // Every byte a text can carry, long enough to be shifted eight at a time, both ways.
  std::string every;
  for (int byte = 1; byte < 0xff; ++byte) every += static_cast<char>(byte);
  const std::string wire = EncodeMessage(every);
  ASSERT_EQ(wire.size(), every.size() + 1);
  for (size_t i = 0; i < every.size(); ++i)
    EXPECT_EQ(static_cast<unsigned char>(wire[i]), static_cast<unsigned char>(every[i]) + 1) << i;
  EXPECT_EQ(Frame({"x", wire.substr(0, 100), wire.substr(100)}),
            std::vector<std::string>{"w" + every});
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

}  // namespace
}  // namespace murelo
