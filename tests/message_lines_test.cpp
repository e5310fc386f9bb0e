#include "core/message_lines.h"

#include <gtest/gtest.h>

namespace murelo {
namespace {

TEST(SplitMessageLines, CountsCompleteLinesAndDropsTheUnterminatedTail) {
  LineTable lines;
  EXPECT_EQ(SplitMessageLines("hello", lines), 0);
  EXPECT_EQ(lines[0], "");

  EXPECT_EQ(SplitMessageLines("a\r\n\nb\ntail", lines), 3);
  EXPECT_EQ(lines[0], "a\r");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "b");
  EXPECT_EQ(lines[3], "");
}

TEST(SplitMessageLines, StoresElevenLinesAndCountsTheRest) {
  LineTable lines;
  std::string text;
  for (int i = 0; i < 1023; ++i) text += std::to_string(i % 10) + "\n";
  EXPECT_EQ(SplitMessageLines(text, lines), 1023);
  EXPECT_EQ(lines[10], "0");
  EXPECT_EQ(SplitMessageLines(std::string(1023, '\n'), lines), 1023);
}

TEST(SplitMessageLines, TakesTextsLongerThan1024BytesWhole) {
  LineTable lines;
  const std::string html(3000, 'x');
  EXPECT_EQ(SplitMessageLines(html + "\n10.0.0.1\n", lines), 2);
  EXPECT_EQ(lines[0], html);
  EXPECT_EQ(lines[1], "10.0.0.1");
}

struct BalanceCase {
  const char* name;
  std::string line;
  std::string balanced;
};

void PrintTo(const BalanceCase& balanceCase, std::ostream* out) { *out << balanceCase.name; }

class BalanceTagsTest : public testing::TestWithParam<BalanceCase> {};

TEST_P(BalanceTagsTest, AppendsTheMissingClosingTags) {
  std::string line = GetParam().line;
  BalanceTags(line);
  EXPECT_EQ(line, GetParam().balanced);
}

const std::string kFar(1020, 'x');

INSTANTIATE_TEST_SUITE_P(
    Lines, BalanceTagsTest,
    testing::Values(
        BalanceCase{"Unclosed", "<b>hi", "<b>hi</b>"},
        BalanceCase{"NameEndsAtBlank", "<font color=red>x", "<font color=red>x</font>"},
        BalanceCase{"NoGreaterThan", "<font color=red", "<font color=red</font>"},
        BalanceCase{"EmptyName", "<>", "<></>"}, BalanceCase{"LoneLessThan", "a<", "a<"},
        BalanceCase{"BlankAfterLessThan", "< b>", "< b>"},
        BalanceCase{"AlreadyClosed", "<b>x</b>", "<b>x</b>"},
        BalanceCase{"CaseSensitive", "<B>x</b>", "<B>x</b></B>"},
        BalanceCase{"OpeningOrderNotNesting", "<b><i>x", "<b><i>x</b></i>"},
        BalanceCase{"EmptyElements", "<br>", "<br></br>"},
        BalanceCase{"ClosingBeforeOpening", "</b><b>", "</b><b>"},
        BalanceCase{"EachClosingAnswersOnce", "<b><b>x</b>", "<b><b>x</b></b>"},
        BalanceCase{"UnterminatedTagStopsTheScan", "<b>x<i", "<b>x<i</b>"},
        BalanceCase{"HostingNotice", "a<br>b<br>c<BR>", "a<br>b<br>c<BR></br></br></BR>"},
        BalanceCase{"JoinNotice",
                    "<b><font size=+2 color=red>taro</font>\x82\xb3\x82\xf1</font></b>",
                    "<b><font size=+2 color=red>taro</font>\x82\xb3\x82\xf1</font></b>"},
        BalanceCase{"TagBeyondTheWindow", kFar + "abcd<i>x", kFar + "abcd<i>x"},
        BalanceCase{"TagStraddlingTheWindow", kFar + "ab<i>x", kFar + "ab<i>x"},
        BalanceCase{"ClosingBeyondTheWindowDoesNotCount", kFar + "<i>" + "</i>",
                    kFar + "<i></i></i>"},
        BalanceCase{"TagEndingAtTheWindowEdge", kFar + "a<i>", kFar + "a<i></i>"}),
    [](const testing::TestParamInfo<BalanceCase>& info) { return info.param.name; });

}  // namespace
}  // namespace murelo
