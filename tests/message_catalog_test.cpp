#include "core/message_catalog.h"

#include <gtest/gtest.h>

#include "core/message_format.h"

namespace murelo {
namespace {

bool Contains(std::string_view text, std::string_view bytes) {
  return text.find(bytes) != std::string_view::npos;
}

TEST(MessageCatalog, TextsAreCp932Bytes) {
  EXPECT_EQ(kRefusalNotice.size(), 32u);
  EXPECT_TRUE(Contains(kRefusalNotice, "\x81\x40"));  // full-width space
  EXPECT_FALSE(Contains(kRefusalNotice, "\n"));

  EXPECT_EQ(kPageMembersLabel, "[\x8e\x51\x89\xc1\x8e\xd2]  ");
  EXPECT_EQ(kPageMembersLabel.size(), 10u);
  EXPECT_TRUE(Contains(kChatLineFormat, "</font>\x81\x46%s"));            // ：
  EXPECT_TRUE(Contains(kPageMemberFormat, "</font>\x81\x99"));            // ☆
  EXPECT_TRUE(Contains(kJoinNoticeFormat, "\x81\x60\x81\xf4"));           // ～♪
  EXPECT_TRUE(Contains(kHostingNoticeFormat, "\x81\x7c"));                // －
  EXPECT_EQ(kClearReplacement, "\x81\xf4\x81\x60");                       // ♪～
  EXPECT_TRUE(Contains(kHostingNoticeFormat, "\x82\xcd  %s  \x82\xc5"));  // は  %s  で
}

TEST(FillFormat, SubstitutesInOrderAndKeepsPercentSignsOfArguments) {
  EXPECT_EQ(FillFormat(kAddCommandFormat, {"red", "taro"}), "\nadd\nred\ntaro\n");
  EXPECT_EQ(FillFormat("<%s|%s>", {"100%s", "%d"}), "<100%s|%d>");
  EXPECT_EQ(FillFormat("a%sb%sc", {"1"}), "a1bc");
  EXPECT_EQ(FillFormat("no placeholder", {"x"}), "no placeholder");
}

}  // namespace
}  // namespace murelo
