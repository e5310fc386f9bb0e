// The two judgements behind drawing a page in place: whether a piece of markup reads the
// same anywhere, and which entries changed between two pages.
#include <gtest/gtest.h>

#include <QString>
#include <random>
#include <string>
#include <vector>

#include "platform/entry_diff.h"
#include "platform/markup_check.h"

namespace murelo {
namespace {

struct MarkupRow {
  const char16_t* html;
  bool bSelfContained;
};

TEST(MarkupCheckTest, OnlyClosedInlineMarkupReadsTheSameAnywhere) {
  const MarkupRow rows[] = {
      {u"<font color=red><b>hana</b></font>\uff1ahello", true},
      {u"<a href=\"http://x/?a=1&amp;b=2\">link</a><br>", true},
      {u"<b><i>crossed</b></i>", true},  // </b> closes the <i> inside it, as Qt does
      {u"</b>stray end tag", true},      // ignored: nothing of the piece is open
      {u"&amp;&lt;&#x41;&#65;", true},
      {u"<b>left open", false},
      {u"<p>a block</p>", false},
      {u"<span style=\"color:red\">x</span>", false},
      {u"<a name=top>x</a>", false},
      {u"<font color=\"red>x</font>", false},  // an unclosed quote
      {u"a < b", false},
      {u"&#10;", false},  // a line break by reference
      {u"<!-- comment -->", false},
      {u"<table><tr><td>x</td></tr></table>", false},
  };
  for (const MarkupRow& row : rows) {
    EXPECT_EQ(IsSelfContainedMarkup(row.html), row.bSelfContained)
        << QString::fromUtf16(row.html).toStdString();
  }
  QString deep;
  for (int i = 0; i < 65; ++i) deep += u"<b>";
  for (int i = 0; i < 65; ++i) deep += u"</b>";
  EXPECT_FALSE(IsSelfContainedMarkup(deep));

  EXPECT_TRUE(IsPlainHead(u"<html>\n<body bgcolor=#eeeeff>\n"));
  EXPECT_FALSE(IsPlainHead(u"<html>\n<body>text\n"));
  EXPECT_FALSE(IsPlainHead(u"<html>\n<style>b{display:block}</style>\n"));
}

/// old with hunks applied, in page order.
std::vector<std::string_view> Apply(const std::vector<std::string_view>& oldEntries,
                                    const std::vector<std::string_view>& newEntries,
                                    const std::vector<CEntryHunk>& hunks) {
  std::vector<std::string_view> result;
  int next = 0;
  for (const CEntryHunk& hunk : hunks) {
    result.insert(result.end(), oldEntries.begin() + next, oldEntries.begin() + hunk.nOldBegin);
    result.insert(result.end(), newEntries.begin() + hunk.nNewBegin,
                  newEntries.begin() + hunk.nNewEnd);
    next = hunk.nOldEnd;
  }
  result.insert(result.end(), oldEntries.begin() + next, oldEntries.end());
  return result;
}

TEST(EntryDiffTest, ApplyingTheDiffGivesTheNewEntriesKeepingAsManyAsPossible) {
  const std::string words[] = {"a", "b", "c", "d", "e"};
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::string_view> oldEntries;
    std::vector<std::string_view> newEntries;
    for (int i = random() % 12; i > 0; --i) oldEntries.push_back(words[random() % 5]);
    for (int i = random() % 12; i > 0; --i) newEntries.push_back(words[random() % 5]);
    std::vector<int> newIndexOfOld;
    const auto hunks = DiffEntries(oldEntries, newEntries, newIndexOfOld);
    ASSERT_TRUE(hunks);
    EXPECT_EQ(Apply(oldEntries, newEntries, *hunks), newEntries);

    // The entries kept are a common subsequence as long as any.
    std::vector<std::vector<int>> lcs(oldEntries.size() + 1,
                                      std::vector<int>(newEntries.size() + 1, 0));
    for (size_t i = oldEntries.size(); i-- > 0;) {
      for (size_t j = newEntries.size(); j-- > 0;) {
        lcs[i][j] = oldEntries[i] == newEntries[j] ? lcs[i + 1][j + 1] + 1
                                                   : std::max(lcs[i + 1][j], lcs[i][j + 1]);
      }
    }
    int kept = 0;
    int last = -1;
    for (size_t i = 0; i < oldEntries.size(); ++i) {
      if (newIndexOfOld[i] < 0) continue;
      EXPECT_EQ(oldEntries[i], newEntries[newIndexOfOld[i]]);
      EXPECT_GT(newIndexOfOld[i], last);
      last = newIndexOfOld[i];
      ++kept;
    }
    EXPECT_EQ(kept, lcs[0][0]);
  }
}

TEST(EntryDiffTest, ListsTooLongToCompareCheaplyGiveNoDiff) {
  std::vector<std::string> texts;
  for (int i = 0; i < 2002; ++i) texts.push_back(std::to_string(i));
  const std::vector<std::string_view> oldEntries(texts.begin(), texts.begin() + 1001);
  const std::vector<std::string_view> newEntries(texts.begin() + 1001, texts.end());
  std::vector<int> newIndexOfOld;
  EXPECT_FALSE(DiffEntries(oldEntries, newEntries, newIndexOfOld));
}

}  // namespace
}  // namespace murelo
