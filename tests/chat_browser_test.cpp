#include "platform/chat_browser.h"

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QToolTip>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/chat_log.h"
#include "core/conversation_state.h"
#include "core/message_catalog.h"
#include "platform/cp932.h"
#include "platform/inline_markup.h"
#include "test_support.h"
#include "ui/page_writer.h"

namespace murelo {
namespace {

std::string Cp932(QStringView text) { return ToCp932(text); }

/// Japanese text as typed, numbered.
std::string Typed(int n) {
  static const char16_t* const kTexts[] = {
      u"こんにちは、今日はいい天気ですね。", u"了解です！　すぐ行きます",
      u"会議は３時からです（予定）", u"ｗｗｗ　半角ｶﾀｶﾅも混ぜて"};
  return Cp932(kTexts[n % 4]) + std::to_string(n);
}

/// A chat line as the chat commands build it.
std::string ChatLine(int n) {
  return "<font color=#00ffff><b>" + Cp932(u"参加者") + std::to_string(n % kMemberRows) +
         "</b></font>" + Cp932(u"：") + Typed(n);
}

// Entries whose markup is unusual but stays inside the entry.
const std::vector<std::string> kOddEntries = {
    "",
    "   ",
    "&nbsp;",
    "<b></b>",
    "a &amp; b &lt;c&gt; &#128512; &#x41; &copy x&y",
    "  leading and trailing  ",
    "<BR>two<br/>lines<br>",
    "<a href=\"http://example.com/\">link</a>",
    "<font size=+2 color=red face='Noto Serif CJK JP'>big</font>",
    "<b><i>crossed</b> over</i>",
    "</font>extra close</b>",
    "<font color size = +1>bare attribute</font>",
    "<u>u</u><s>s</s><sub>1</sub><sup>2</sup><tt>t</tt><code>c</code>",
    "<em>e</em><strong>s</strong><big>b</big><small>s</small><cite>c</cite>",
    "ends in a lead byte \x82",
    Cp932(u"全角　スペース　と☆記号♪"),
    // The join and leave notices carry one </font> too many.
    "<b><font size=+2 color=red>x</font>" + Cp932(u"さんがいらっしゃいました～♪") + "</font></b>",
};

// Entries whose markup reaches past the entry, or might.
const std::vector<std::string> kHostileEntries = {
    "<!--",
    "<!-- closed -->after",
    "<table><tr><td>x",
    "<font color=\"red>x",
    "<hr",
    "<hr>inner rule",
    "<pre>",
    "<style>b { color: red }</style>",
    "<script>alert(1)</script>",
    "<p>para",
    "<b>unclosed",
    "<a name=here></a>",
    "<span style=\"display:block\">x</span>",
    "a < b",
    "<3",
    "<img src=x>",
    "&#8233;",
    "&#10;",
    "<body bgcolor=red>",
    "<ul><li>x",
    "<!--StartFragment-->",
    "<center>c</center>",
    "<div>d",
    "<h1>h",
    "<title>t</title>",
    "<font face='a\\'b'>x</font>",
    "</body></html>",
    "<a href=x/>y</a>",
    "<i>",
    "<b  >x</b  >",
};

std::string Repeated(std::string_view unit, int count) {
  std::string text;
  while (count-- > 0) text += unit;
  return text;
}

// Entries that, drawn as sent, cost Qt's layout dearly (the tables about 2 s a draw,
// twice that for each further level), or draw text or images larger than the view.
const std::vector<std::string> kCostlyEntries = {
    Repeated("<table><tr><td>", 12) + "x",
    "<table><tr><td colspan=2147483647 rowspan=2147483647>x</td></tr></table>",
    "<table width=999999><tr>" + Repeated("<td width=999999>x", 50),
    Repeated("<div><blockquote><ul><li><font color=red><b>", 20) + "x",
    Repeated("&amp;", 200),
    "<a href=\"http://example.com/\"><span style=\"font-size:100000px\">x</span></a>",
    "<font size=100><h1><big>x",
    "<style>*{font-size:1000px}</style>x",
    "<pre>" + std::string(990, 'x'),
    "<img width=99999 height=99999>",
};

/// Where two documents differ, for a reader: root frame, block count, then the first
/// block whose text, block format, block character format or formatted runs differ.
testing::AssertionResult SameDocument(const QTextDocument& got, const QTextDocument& want) {
  if (got.rootFrame()->frameFormat() != want.rootFrame()->frameFormat()) {
    return testing::AssertionFailure() << "root frame formats differ";
  }
  if (got.blockCount() != want.blockCount()) {
    return testing::AssertionFailure()
           << got.blockCount() << " blocks, not " << want.blockCount() << "\n"
           << got.toPlainText().toStdString() << "\n---\n"
           << want.toPlainText().toStdString();
  }
  for (QTextBlock a = got.begin(), b = want.begin(); a.isValid(); a = a.next(), b = b.next()) {
    bool same = a.text() == b.text() && a.blockFormat() == b.blockFormat() &&
                a.charFormat() == b.charFormat();
    for (int at = 0; same && at < a.length() - 1; ++at) {
      QTextCursor x(a), y(b);
      x.setPosition(a.position() + at + 1);
      y.setPosition(b.position() + at + 1);
      same = x.charFormat() == y.charFormat();
    }
    if (!same) {
      return testing::AssertionFailure()
             << "block " << a.blockNumber() << " differs: \"" << a.text().toStdString() << "\" / \""
             << b.text().toStdString() << "\"";
    }
  }
  if (got.toHtml() != want.toHtml()) return testing::AssertionFailure() << "HTML differs";
  return testing::AssertionSuccess();
}

class ChatBrowserTest : public testing::Test {
 protected:
  ChatBrowserTest() {
    browser.resize(480, 360);
    browser.show();
    for (int i = 0; i < kMemberRows; ++i) {
      members[i] = {1, Cp932(u"参加者") + std::to_string(i), i % 2 ? "#00ffff" : "red"};
    }
  }

  /// The sender address of member n's lines.
  static std::string Address(int n) { return "10.0.0." + std::to_string(n); }

  void Say(std::string html, int member = 0) { log.Append({std::move(html), Address(member)}); }

  /// Writes the conversation's page and has the browser draw it now.
  void Show() {
    ASSERT_TRUE(ReplaceFile(kPageFileName, ComposeChatPage(members, log, limit)));
    browser.Navigate(kPageFileName);
    browser.DrawPending();
  }

  /// Shows the conversation and expects the browser to have changed the page in place.
  void ShowInPlace() {
    const int before = browser.InPlaceDraws();
    Show();
    EXPECT_EQ(browser.InPlaceDraws(), before + 1);
  }

  /// Whether the browser shows what a fresh one that parsed the whole file shows.
  testing::AssertionResult ShowsWhatAFullDrawShows() {
    CChatBrowser fresh;
    fresh.Navigate(kPageFileName);
    fresh.DrawPending();
    return SameDocument(*browser.document(), *fresh.document());
  }

  test::ScopedTempDir dir;
  MemberTable members;
  CChatLog log;
  int limit = 200;
  CChatBrowser browser;
};

TEST_F(ChatBrowserTest, InPlaceDrawsOfAConversationMatchFullDraws) {
  for (int i = 0; i < kLogCapacity; ++i) Say(ChatLine(i), i % kMemberRows);
  Show();
  for (int i = 0; i < 3; ++i) {  // a new entry at the top, the oldest gone from the bottom
    Say(ChatLine(kLogCapacity + i), i);
    ShowInPlace();
    ASSERT_TRUE(ShowsWhatAFullDrawShows());
  }
  members[5].bActive = 0;
  Say("<b><font size=+2 color=red>x</font>" + Cp932(u"さん、さようなら～♪") + "</font></b>", 5);
  ShowInPlace();
  EXPECT_TRUE(ShowsWhatAFullDrawShows());
  members[3].strName = Cp932(u"改名した人");
  ShowInPlace();
  EXPECT_TRUE(ShowsWhatAFullDrawShows());
  log.RemoveSender(Address(7));  // a clear request: entries go from all over the page
  Say(ChatLine(7) + Cp932(u"♪～"), 7);
  ShowInPlace();
  EXPECT_TRUE(ShowsWhatAFullDrawShows());
  for (int index : {0, 1, 3, 2, 0}) {
    limit = DisplayLimit(index);
    Show();
    EXPECT_TRUE(ShowsWhatAFullDrawShows()) << "limit " << limit;
    Say(ChatLine(index), index);
    Show();
    EXPECT_TRUE(ShowsWhatAFullDrawShows()) << "limit " << limit;
  }
}

TEST_F(ChatBrowserTest, OddAndHostileMarkupGivesWhatAFullDrawGives) {
  for (int i = 0; i < 30; ++i) Say(ChatLine(i), i % kMemberRows);
  limit = 20;
  Show();
  for (const auto* entries : {&kOddEntries, &kHostileEntries, &kCostlyEntries}) {
    for (const std::string& entry : *entries) {
      Say(entry, 1);
      Show();
      ASSERT_TRUE(ShowsWhatAFullDrawShows()) << entry;
      Say(ChatLine(0));
      Show();
      ASSERT_TRUE(ShowsWhatAFullDrawShows()) << "after " << entry;
      members[2].strName = entry;  // names go into the page unchanged too
      Show();
      ASSERT_TRUE(ShowsWhatAFullDrawShows()) << "named " << entry;
    }
  }
}

TEST_F(ChatBrowserTest, RandomConversationsMatchFullDraws) {
  // Mostly short pages, so that hostile entries and names scroll off or are cleared and
  // in-place draws resume.
  std::mt19937 random(20240601);
  auto pick = [&](size_t n) { return static_cast<int>(random() % n); };
  limit = DisplayLimit(0);
  for (int step = 0; step < 200; ++step) {
    const int what = pick(20);
    if (what < 13) {
      const int kind = pick(20);
      Say(kind < 12   ? ChatLine(step)
          : kind < 19 ? kOddEntries[pick(kOddEntries.size())]
                      : kHostileEntries[pick(kHostileEntries.size())],
          pick(4));
    } else if (what < 15) {
      log.RemoveSender(Address(pick(4)));
      Say(ChatLine(step), pick(4));
    } else if (what < 17) {
      members[pick(kMemberRows)].bActive ^= 1;
    } else if (what < 19) {
      members[pick(kMemberRows)].strName = pick(6) ? Cp932(u"新しい名前") : "<i>hana";
    } else {
      limit = DisplayLimit(pick(3) ? 0 : pick(kLogLimitIndexCount));
    }
    Show();
    ASSERT_TRUE(ShowsWhatAFullDrawShows()) << "step " << step;
  }
  EXPECT_GT(browser.InPlaceDraws(), 30);  // the in-place path had its share
}

TEST_F(ChatBrowserTest, CostlyMarkupIsDrawnInPlaceSoonAndNoTallerThanLargeText) {
  for (const std::string& entry : kOddEntries) {
    EXPECT_EQ(ToInlineMarkup(ToQString(entry)), ToQString(entry)) << entry;
  }
  for (int i = 0; i < kMemberRows; ++i) Say(ChatLine(i), i);
  Show();
  for (const std::string& entry : kCostlyEntries) {
    QElapsedTimer timer;
    timer.start();
    Say(entry, 1);
    ShowInPlace();
    members[2].strName = entry;
    ShowInPlace();
    browser.document()->documentLayout()->documentSize();
    EXPECT_LT(timer.elapsed(), 500) << entry;
  }
  const qreal lineHeight = QFontMetricsF(browser.document()->defaultFont()).height();
  for (QTextBlock block = browser.document()->begin(); block.isValid(); block = block.next()) {
    for (int i = 0; i < block.layout()->lineCount(); ++i) {
      EXPECT_LE(block.layout()->lineAt(i).height(), 3 * lineHeight) << block.text().toStdString();
    }
  }
}

TEST_F(ChatBrowserTest, NavigationsInOneTurnAreDrawnOnceWithTheNewest) {
  for (int i = 0; i < 3; ++i) {
    Say(ChatLine(i));
    ASSERT_TRUE(ReplaceFile(kPageFileName, ComposeChatPage(members, log, limit)));
    browser.Navigate(kPageFileName);
  }
  EXPECT_TRUE(browser.DrawnPage().empty());
  QCoreApplication::processEvents();
  EXPECT_EQ(browser.FullDraws() + browser.InPlaceDraws(), 1);
  EXPECT_EQ(browser.DrawnPage(), ComposeChatPage(members, log, limit));
  EXPECT_TRUE(browser.toPlainText().contains(ToQString(Typed(2))));
}

TEST_F(ChatBrowserTest, ShowsTheFileAsItReadAtNavigation) {
  // Start-up shows the splash page, then writes the blank page without navigating.
  ASSERT_TRUE(ReplaceFile(kPageFileName, kSplashPage));
  browser.Navigate(kPageFileName);
  ASSERT_TRUE(ReplaceFile(kPageFileName, kBlankPage));
  QCoreApplication::processEvents();
  EXPECT_EQ(browser.DrawnPage(), kSplashPage);
  EXPECT_TRUE(browser.toPlainText().contains(QStringLiteral("Murelo")));

  browser.Navigate("no-such-file.htm");  // an unreadable file changes nothing
  QCoreApplication::processEvents();
  EXPECT_EQ(browser.DrawnPage(), kSplashPage);
  EXPECT_EQ(browser.FullDraws(), 1);
}

TEST_F(ChatBrowserTest, SplashPageIsDrawnInInstalledJapaneseFonts) {
  ASSERT_TRUE(ReplaceFile(kPageFileName, kSplashPage));
  browser.Navigate(kPageFileName);
  browser.DrawPending();
  const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
  const QTextCursor title = browser.document()->find(QStringLiteral("Murelo"));
  ASSERT_FALSE(title.isNull());
  const QString titleFamily = QFontInfo(title.charFormat().font()).family();
  EXPECT_TRUE(japanese.contains(titleFamily)) << titleFamily.toStdString();
  const QString pageFamily = QFontInfo(browser.document()->defaultFont()).family();
  EXPECT_TRUE(japanese.contains(pageFamily)) << pageFamily.toStdString();
}

TEST_F(ChatBrowserTest, LinksShowTheirAddressAndOpenOutsideLeavingThePageOnShow) {
  std::vector<QUrl> opened;
  browser.SetLinkOpener([&](const QUrl& url) { opened.push_back(url); });
  Say("<a href=\"file:///etc/passwd\">local</a> <a href=\"javascript:x()\">script</a>");
  Say("<a href=\"http://example.com/x\">web</a>");
  Show();
  const QString text = browser.toPlainText();
  for (const auto& [word, address] : {std::pair{"web", "http://example.com/x"},
                                      {"local", "file:///etc/passwd"},
                                      {"script", "javascript:x()"}}) {
    QTextCursor at = browser.document()->find(QString::fromLatin1(word));
    ASSERT_FALSE(at.isNull()) << word;
    at.setPosition(at.selectionStart() + 1);
    const QPoint point = browser.cursorRect(at).center();
    QHelpEvent rest(QEvent::ToolTip, point, browser.viewport()->mapToGlobal(point));
    QCoreApplication::sendEvent(browser.viewport(), &rest);
    EXPECT_EQ(QToolTip::text(), QString::fromLatin1(address));
    QTest::mouseClick(browser.viewport(), Qt::LeftButton, {}, point);
  }
  EXPECT_EQ(opened, std::vector<QUrl>{QUrl("http://example.com/x")});
  EXPECT_EQ(browser.toPlainText(), text);
  EXPECT_TRUE(browser.source().isEmpty());
}

TEST_F(ChatBrowserTest, PagesLoadNoResource) {
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(Qt::red);
  ASSERT_TRUE(image.save(QStringLiteral("pic.png")));
  const QUrl local = QUrl::fromLocalFile(QString::fromStdString((dir.path() / "pic.png").string()));
  const std::vector<QUrl> urls = {local, QUrl(local.path()), QUrl("pic.png"),
                                  QUrl("http://127.0.0.1:9/pic.png")};
  std::string entry;
  for (const QUrl& url : urls) entry += "<img src=\"" + url.toString().toStdString() + "\">";
  Say(entry + "<link rel=stylesheet href=\"pic.css\">");
  Show();
  browser.grab();  // painting is what fetches images
  for (const QUrl& url : urls) {
    EXPECT_FALSE(browser.document()->resource(QTextDocument::ImageResource, url).isValid())
        << url.toString().toStdString();
  }
}

TEST_F(ChatBrowserTest, ReaderScrolledDownKeepsTheirPlace) {
  for (int i = 0; i < kLogCapacity; ++i) Say(ChatLine(i), i % kMemberRows);
  Show();
  QScrollBar& bar = *browser.verticalScrollBar();
  const QPoint middle(10, browser.viewport()->height() / 2);
  auto textInView = [&] { return browser.cursorForPosition(middle).block().text(); };
  EXPECT_EQ(bar.value(), 0);
  Say(ChatLine(1000));
  ShowInPlace();
  EXPECT_EQ(bar.value(), 0);  // at the top the newest entry stays in view
  const QTextCursor newest = browser.document()->find(ToQString(Typed(1000)));
  ASSERT_FALSE(newest.isNull());
  EXPECT_LT(browser.cursorRect(newest).bottom(), browser.viewport()->height());

  bar.setValue(bar.maximum() / 2);
  const QString reading = textInView();
  Say(ChatLine(1001));
  ShowInPlace();
  EXPECT_EQ(textInView(), reading);

  const int value = bar.value();
  for (int i = 0; i < 30; ++i) Say(ChatLine(2000 + i));  // too many to add in place
  Show();
  EXPECT_EQ(bar.value(), value);
}

}  // namespace
}  // namespace murelo
