// The page view draws each new page in place where it can; whatever peers send, what it
// shows must be what a full draw of the file shows, soon, and without loading anything.
// The log under it keeps the newest 200 entries whatever is added and cleared.
#include "platform/page_view/page_view.h"

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QToolTip>
#include <deque>
#include <random>

#include "core/chat_log.h"
#include "core/message_catalog.h"
#include "platform/cp932.h"
#include "platform/posix/plain_file.h"
#include "test_host.h"
#include "ui/page_writer.h"

namespace murelo {
namespace {

/// A chat line as the chat commands build it.
std::string ChatLine(int n) {
  return "<font color=#00ffff><b>" + ToCp932(u"参加者") + std::to_string(n % kMemberRows) +
         "</b></font>" + ToCp932(u"：会議は３時からです（予定）ｶﾀｶﾅ") + std::to_string(n);
}

/// Markup as a peer might send it: pieces that are unusual, unbalanced or reach past
/// their entry, strung together at random.
std::string RandomMarkup(std::mt19937& random) {
  static const QStringList kPieces =
      QString(
          R"(<b>|</b>|<i>|</font>|<font color=red size=+2 face='Noto Serif CJK JP'>|</a>|<br>|<BR/>|)"
          R"(<a href="http://example.com/">|<a name=here>|<table><tr><td>|<p>|<!--|-->|<pre>|<hr|<div>|)"
          R"(<style>b{color:red}</style>|<script>x()</script>|&amp;|&#10;|&#8233;|&#128512;|&copy|<|>|)"
          R"("|<font color="red>|<img src=x>|<ul><li>|<h1>|</body></html>|<title>t</title>| |x|)"
          R"(<span style="display:block">|さんがいらっしゃいました～♪)")
          .split(u'|');
  std::string markup;
  for (int n = static_cast<int>(random() % 6); n >= 0; --n)
    markup += ToCp932(kPieces[random() % kPieces.size()]);
  return markup + (random() % 8 ? "" : "\x82");  // a lead byte cut off
}

// Markup that, drawn as sent, costs Qt's layout seconds or draws larger than the view.
const std::vector<std::string> kCostlyEntries = {
    QString("<table><tr><td>").repeated(12).toStdString() + "x",
    "<table><tr><td colspan=2147483647 rowspan=2147483647>x</td></tr></table>",
    "<table width=999999><tr>" + QString("<td width=999999>x").repeated(50).toStdString(),
    QString("<div><blockquote><ul><li><font color=red><b>").repeated(20).toStdString() + "x",
    "<a href=\"http://example.com/\"><span style=\"font-size:100000px\">x</span></a>",
    "<style>*{font-size:1000px}</style>x",
    "<img width=99999 height=99999>"};

class PageViewTest : public testing::Test {
 protected:
  PageViewTest() {
    browser.resize(480, 360);
    browser.show();
    for (int i = 0; i < kMemberRows; ++i)
      members[i] = {true, ToCp932(u"参加者") + std::to_string(i), i % 2 ? "#00ffff" : "red"};
  }
  void Say(std::string html, int member = 0) {
    model.push_back({html, "10.0.0." + std::to_string(member)});
    if (model.size() > kLogCapacity) model.pop_front();
    log.Append({std::move(html), "10.0.0." + std::to_string(member)});
  }
  /// Writes the conversation's page and has the browser draw it now (with inPlace, expects
  /// it drawn in place): it must show what a fresh one that parsed the whole file shows.
  void Show(bool inPlace = false) {
    const int before = browser.InPlaceDraws();
    ASSERT_TRUE(ReplaceFile(kPageFileName, ComposeChatPage(members, log, limit)));
    CPageView fresh;
    for (CPageView* view : {&browser, &fresh}) {
      view->Navigate(kPageFileName);
      view->DrawPending();
    }
    if (inPlace) {
      EXPECT_EQ(browser.InPlaceDraws(), before + 1);
    }
    const QString got = browser.toHtml(), want = fresh.toHtml();
    ASSERT_TRUE(got == want && browser.document()->rootFrame()->frameFormat() ==
                                   fresh.document()->rootFrame()->frameFormat())
        << got.toStdString() << "\n---\n"
        << want.toStdString();
  }

  test::ScopedTempDir dir;
  MemberTable members;
  CChatLog log;
  std::deque<LogEntry> model;  // what the log must hold, oldest first
  int limit = DisplayLimit(0);
  CPageView browser;
};

TEST_F(PageViewTest, RandomConversationsOfAnyMarkupLookAsFullDrawsDo) {
  // Mostly short pages, so that odd entries and names scroll off or are cleared and
  // in-place draws resume.
  std::mt19937 random(20240601);
  auto pick = [&](size_t n) { return static_cast<int>(random() % n); };
  for (int i = 0; i < 190; ++i) Say(ChatLine(i), i % 4);  // near the log's capacity
  for (int step = 0; step < 300; ++step) {
    const int what = pick(20);
    if (what < 13) {
      Say(pick(2) ? ChatLine(step) : RandomMarkup(random), pick(4));
    } else if (what < 15) {
      const std::string sender = "10.0.0." + std::to_string(pick(4));  // a clear request
      std::erase_if(model, [&](const LogEntry& entry) { return entry.strSenderIp == sender; });
      log.RemoveSender(sender);
      Say(ChatLine(step), pick(4));
    } else if (what < 17) {
      members[pick(kMemberRows)].bActive ^= true;
    } else if (what < 19) {
      members[pick(kMemberRows)].strName = pick(3) ? ToCp932(u"新しい名前") : RandomMarkup(random);
    } else {
      limit = DisplayLimit(pick(3) ? 0 : pick(kLogLimitIndexCount));
    }
    ASSERT_NO_FATAL_FAILURE(Show()) << "step " << step;
    ASSERT_EQ(log.Count(), static_cast<int>(model.size()));  // the newest, in order
    for (int i = 0; i < log.Count(); ++i) ASSERT_EQ(log[i].strHtml, model[i].strHtml) << i;
  }
  EXPECT_GT(browser.InPlaceDraws(), 50);  // the in-place path had its share
}

TEST_F(PageViewTest, CostlyMarkupIsDrawnSoonAndNoTallerThanLargeText) {
  for (int i = 0; i < kMemberRows; ++i) Say(ChatLine(i), i);
  Show();
  for (const std::string& entry : kCostlyEntries) {
    QElapsedTimer timer;
    timer.start();
    Say(entry, 1);
    Show(true);
    members[2].strName = entry;
    Show(true);
    browser.document()->documentLayout()->documentSize();
    EXPECT_LT(timer.elapsed(), 500) << entry;
  }
  const qreal lineHeight = QFontMetricsF(browser.document()->defaultFont()).height();
  for (QTextBlock block = browser.document()->begin(); block.isValid(); block = block.next()) {
    for (int i = 0; i < block.layout()->lineCount(); ++i)
      EXPECT_LE(block.layout()->lineAt(i).height(), 3 * lineHeight) << block.text().toStdString();
  }
}

TEST_F(PageViewTest, LinksShowTheirAddressOnlyWebLinksOpenAndNothingIsLoaded) {
  std::vector<QUrl> opened;
  browser.SetLinkOpener([&](const QUrl& url) { opened.push_back(url); });
  const QUrl local = QUrl::fromLocalFile(QString::fromStdString((dir.path() / "pic.png").string()));
  QImage(8, 8, QImage::Format_RGB32).save(local.toLocalFile());
  Say("<a href=\"file:///etc/passwd\">local</a> <a href=\"javascript:x()\">script</a><img src=\"" +
      local.toString().toStdString() +
      "\"><img src=pic.png><img src=\"http://127.0.0.1:9/p.png\">");
  Say("<a href=\"http://example.com/x\">web</a><link rel=stylesheet href=\"pic.css\">");
  Show();
  const QString text = browser.toPlainText();
  for (const auto& [word, address] : {std::pair{"web", "http://example.com/x"},
                                      {"local", "file:///etc/passwd"},
                                      {"script", "javascript:x()"}}) {
    QTextCursor at = browser.document()->find(QString::fromLatin1(word));
    at.setPosition(at.selectionStart() + 1);
    const QPoint point = browser.cursorRect(at).center();
    QHelpEvent rest(QEvent::ToolTip, point, browser.viewport()->mapToGlobal(point));
    QCoreApplication::sendEvent(browser.viewport(), &rest);
    EXPECT_EQ(QToolTip::text(), QString::fromLatin1(address));
    QTest::mouseClick(browser.viewport(), Qt::LeftButton, {}, point);
  }
  EXPECT_EQ(opened, std::vector<QUrl>{QUrl("http://example.com/x")});
  EXPECT_EQ(browser.toPlainText(), text);  // the page stays on show
  browser.grab();                          // painting is what fetches images
  for (const QUrl& url : {local, QUrl("pic.png"), QUrl("http://127.0.0.1:9/p.png")})
    EXPECT_FALSE(browser.document()->resource(QTextDocument::ImageResource, url).isValid());
}

TEST_F(PageViewTest, ReaderScrolledDownKeepsTheirPlace) {
  limit = DisplayLimit(3);
  QScrollBar& bar = *browser.verticalScrollBar();
  const QPoint middle(10, browser.viewport()->height() / 2);
  // The old entries end the new page while the log fills; once it is full, the oldest
  // goes at each new one. A change of the members keeps every entry.
  for (const int before : {150, kLogCapacity}) {
    while (log.Count() < before) Say(ChatLine(log.Count()), log.Count() % kMemberRows);
    Show();
    bar.setValue(bar.maximum() / 2);
    const QString reading = browser.cursorForPosition(middle).block().text();
    Say(ChatLine(1000 + before));
    Show(true);
    EXPECT_EQ(browser.cursorForPosition(middle).block().text(), reading) << before;
    members[3].bActive ^= true;  // every entry kept where it was
    Show(true);
    EXPECT_EQ(browser.cursorForPosition(middle).block().text(), reading) << before;
  }
  bar.setValue(0);
  Say(ChatLine(2000));
  Show(true);
  EXPECT_EQ(bar.value(), 0);  // at the top the newest entry stays in view
}

}  // namespace
}  // namespace murelo
