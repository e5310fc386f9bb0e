// Measures how soon the page view shows a new message on a full page (20 participants,
// the 200-entry limit, Japanese chat lines): from the navigation to the rewritten file
// until the page is drawn, laid out and painted. Against it, the same for drawing the
// whole page from nothing in a fresh view; and a new line on a page that peers filled
// with the costliest markup a line of 1000 bytes can hold, participants included.
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QTextDocument>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/chat_log.h"
#include "core/conversation_state.h"
#include "platform/cp932.h"
#include "platform/page_view/page_view.h"
#include "platform/posix/plain_file.h"
#include "ui/page_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

/// Chat line n as the chat commands build it: 60 to 120 bytes, mostly Japanese.
std::string ChatLine(int n) {
  static const char16_t* const kTexts[] = {
      u"こんにちは、今日はいい天気ですね。",
      u"了解です！　すぐ行きます",
      u"会議は３時からです。資料は共有フォルダに置きました（確認お願いします）",
      u"ｗｗｗ　それは知らなかった",
      u"お疲れさまでした～♪　また明日",
  };
  return "<font color=#00ffff><b>" + murelo::ToCp932(u"参加者") + std::to_string(n % 20) +
         "</b></font>" + murelo::ToCp932(u"：") + murelo::ToCp932(kTexts[n % 5]) +
         std::to_string(n);
}

std::string Repeated(std::string_view unit, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += unit;
  return text;
}

/// A line of 1000 bytes or a little less: head, as many units as fit, tail.
std::string Filled(std::string_view head, std::string_view unit, std::string_view tail) {
  const size_t room = 1000 - head.size() - tail.size();
  return std::string(head) + Repeated(unit, room / unit.size()) + std::string(tail);
}

/// Hostile line n: each kind costs Qt's layout dearly when drawn as sent (the tables by
/// far the most: their cost doubles with every level of nesting).
std::string HostileLine(int n) {
  static const std::string kLines[] = {
      Filled("", "<table><tr><td>", "x"),
      Filled("", "<table><tr><td colspan=2147483647 rowspan=2147483647>x</td></tr></table>", ""),
      Filled("<table width=999999 border=1><tr>", "<td width=999999>x", ""),
      Filled("", "<div>", "x"),
      Filled("", "<blockquote>", "x"),
      Filled("", "<ul><li>", "x"),
      Filled("", "<font color=red><b>", "x"),
      Filled("", "&amp;", ""),
      Filled("", "&#x3042;", ""),
      Filled("<a href=\"http://example.com/\"><span style=\"font-size:100000px\">",
             "<font size=100><h1><big>x", "</span></a>"),
      Filled("<style>*{font-size:1000px;margin:99999px}</style>", "x ", ""),
      Filled("<pre>", "x", ""),
      Filled("", "<img width=99999 height=99999>", ""),
      Filled("<font size=7>", "x<br>", "</font>"),  // inline only: drawn as sent
  };
  return kLines[n % std::size(kLines)].substr(0, 996) + std::to_string(n % 1000);  // all unlike
}

/// Shows browser on screen and waits until the platform says it is.
void ShowExposed(murelo::CPageView& browser) {
  browser.resize(800, 600);
  browser.show();
  while (browser.windowHandle() == nullptr || !browser.windowHandle()->isExposed()) {
    QCoreApplication::processEvents();
  }
}

/// Navigates browser to path and returns once the page is drawn, laid out and painted.
void ShowNow(murelo::CPageView& browser, const std::string& path) {
  browser.Navigate(path);
  browser.DrawPending();
  browser.document()->documentLayout()->documentSize();  // the whole page laid out
  browser.viewport()->repaint();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "murelo-page-bench";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / murelo::kPageFileName).string();

  murelo::MemberTable members;
  for (int i = 0; i < murelo::kMemberRows; ++i) {
    members[i] = {1, murelo::ToCp932(u"参加者") + std::to_string(i), i % 2 ? "#00ffff" : "red"};
  }
  murelo::CChatLog log;
  int lines = 0;
  for (; lines < murelo::kLogCapacity; ++lines) {
    log.Append({ChatLine(lines), "192.168.1." + std::to_string(lines % 20)});
  }
  const int limit = murelo::DisplayLimit(3);
  auto writePage = [&] { murelo::ReplaceFile(path, murelo::ComposeChatPage(members, log, limit)); };

  // The draw of each of count new lines made by line, in a view showing the page as it
  // is now.
  auto newLineTimes = [&](auto line, int count) {
    murelo::CPageView browser;
    ShowExposed(browser);
    writePage();
    ShowNow(browser, path);
    std::vector<double> times;
    for (int i = 0; i < count; ++i, ++lines) {
      log.Append({line(lines), "192.168.1." + std::to_string(lines % 20)});
      writePage();
      const Clock::time_point start = Clock::now();
      ShowNow(browser, path);
      times.push_back(MillisecondsSince(start));
    }
    if (browser.InPlaceDraws() < count) {
      std::fprintf(stderr, "only %d of %d messages were drawn in place\n", browser.InPlaceDraws(),
                   count);
    }
    return times;
  };

  constexpr int kMessages = 300;
  const std::vector<double> inPlace = newLineTimes(ChatLine, kMessages);

  constexpr int kFreshViews = 40;
  std::vector<double> full;
  for (int i = 0; i < kFreshViews; ++i) {
    auto fresh = std::make_unique<murelo::CPageView>();
    ShowExposed(*fresh);
    fresh->viewport()->repaint();  // the empty view's first paint is not the page's
    const Clock::time_point start = Clock::now();
    ShowNow(*fresh, path);
    full.push_back(MillisecondsSince(start));
  }

  members[3].strName = Repeated("<table><tr><td>", 16) + "x";
  members[7].strName = "<table><tr><td colspan=2147483647>x</td></tr></table>";
  members[11].strName = "<style>*{font-size:1000px}</style>x";
  members[15].strName = "<span style=\"font-size:100000px\">x</span>";
  for (int i = 0; i < murelo::kLogCapacity; ++i, ++lines) {
    log.Append({HostileLine(lines), "192.168.1." + std::to_string(lines % 20)});
  }
  constexpr int kHostileMessages = 100;
  const std::vector<double> onHostilePage = newLineTimes(HostileLine, kHostileMessages);

  std::printf("page_draw_p50_ms: %.2f ms\n", Median(inPlace));
  std::printf("page_draw_full_p50_ms: %.2f ms\n", Median(full));
  std::printf("page_draw_hostile_p50_ms: %.2f ms\n", Median(onHostilePage));
  std::filesystem::remove_all(dir);
  return 0;
}
