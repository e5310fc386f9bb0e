// The fixed texts filled in.
#include "core/message_format.h"

#include <gtest/gtest.h>

#include "core/message_catalog.h"

namespace murelo {
namespace {

TEST(MessageTexts, FillInOrderAndKeepPercentSignsOfArguments) {
  EXPECT_EQ(FillFormat(kAddCommandFormat, {"red", "taro"}), "\nadd\nred\ntaro\n");
  EXPECT_EQ(FillFormat("<%s|%s>%s", {"100%s", "%d"}), "<100%s|%d>");
}

}  // namespace
}  // namespace murelo
