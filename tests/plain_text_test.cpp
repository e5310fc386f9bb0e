// A display message as one line of plain text.
#include "platform/plain_text.h"

#include <gtest/gtest.h>

#include <utility>

namespace murelo {
namespace {

TEST(PlainText, IsSafeForATerminalAndReadsMarkupAsThePageViewDoes) {
  EXPECT_EQ(PlainTextOfHtml(u"<b>a</b>&#155;[2J&#8238;<笑> &lt;i&gt;&#0;&#x41;"),
            u"a [2J <笑> <i>&#0;A"_qs);
  // What the page view shows of each, its tags and hidden content aside.
  const std::pair<QString, QString> cases[] = {
      {u"a</ b>c"_qs, u"a</ b>c"_qs},           // no tag: '/' and no letter
      {u"<a title=\"x>y\">z</a>"_qs, u"z"_qs},  // a quoted '>' ends no tag
      {u"x<style>p{}</style>y<title>t</title>"_qs, u"xy"_qs},
      {u"x<y"_qs, u"x"_qs},  // a tag the line's end cuts off
      {u"&#65 &#1<b>;"_qs, u"&#65 &#1;"_qs},
  };
  for (const auto& [html, plain] : cases)
    EXPECT_EQ(PlainTextOfHtml(html), plain) << html.toStdString();
}

}  // namespace
}  // namespace murelo
