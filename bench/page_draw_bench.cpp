// Measures how soon the chat view shows a new message on a full page (20 participants,
// the 200-entry limit, Japanese chat lines): from the navigation to the rewritten file
// until the page is drawn, laid out and painted. Against it, the same for drawing the
// whole page from nothing in a fresh view.
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QTextDocument>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/chat_log.h"
#include "core/conversation_state.h"
#include "platform/chat_browser.h"
#include "platform/cp932.h"
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

/// Shows browser on screen and waits until the platform says it is.
void ShowExposed(murelo::CChatBrowser& browser) {
  browser.resize(800, 600);
  browser.show();
  while (browser.windowHandle() == nullptr || !browser.windowHandle()->isExposed()) {
    QCoreApplication::processEvents();
  }
}

/// Navigates browser to path and returns once the page is drawn, laid out and painted.
void ShowNow(murelo::CChatBrowser& browser, const std::string& path) {
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
  auto writePage = [&] {
    murelo::ReplaceFile(path.c_str(), murelo::ComposeChatPage(members, log, limit));
  };

  murelo::CChatBrowser browser;
  ShowExposed(browser);
  writePage();
  ShowNow(browser, path);

  constexpr int kMessages = 300;
  std::vector<double> inPlace;
  for (int i = 0; i < kMessages; ++i, ++lines) {
    log.Append({ChatLine(lines), "192.168.1." + std::to_string(lines % 20)});
    writePage();
    const Clock::time_point start = Clock::now();
    ShowNow(browser, path);
    inPlace.push_back(MillisecondsSince(start));
  }

  constexpr int kFreshViews = 40;
  std::vector<double> full;
  for (int i = 0; i < kFreshViews; ++i) {
    auto fresh = std::make_unique<murelo::CChatBrowser>();
    ShowExposed(*fresh);
    fresh->viewport()->repaint();  // the empty view's first paint is not the page's
    const Clock::time_point start = Clock::now();
    ShowNow(*fresh, path);
    full.push_back(MillisecondsSince(start));
  }

  std::printf("page_draw_p50_ms: %.2f ms\n", Median(inPlace));
  std::printf("page_draw_full_p50_ms: %.2f ms\n", Median(full));
  if (browser.InPlaceDraws() < kMessages) {
    std::fprintf(stderr, "only %d of %d messages were drawn in place\n", browser.InPlaceDraws(),
                 kMessages);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
