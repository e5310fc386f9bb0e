// How a message is read: line splitting and tag balancing.
#include "core/message_lines.h"

#include <gtest/gtest.h>

namespace murelo {
namespace {

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
