// A display message as one line of plain text.
#include "platform/plain_text.h"

#include <gtest/gtest.h>

namespace murelo {
namespace {

TEST(PlainText, IsSafeForATerminalAndKeepsWhatIsNoTag) {
  EXPECT_EQ(PlainTextOfHtml(u"<b>a</b>&#155;[2J&#8238;<笑> &lt;i&gt;&#0;&#x41;"),
            u"a [2J <笑> <i>&#0;A"_qs);
}

}  // namespace
}  // namespace murelo
