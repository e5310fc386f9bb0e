#include "platform/page_view/markup_warnings.h"

#include <QString>
#include <array>
#include <chrono>
#include <mutex>

namespace murelo {

namespace {

using Clock = std::chrono::steady_clock;

// Where Qt's HTML reading and the fonts it makes from markup report what they cannot use.
constexpr std::array<const char*, 5> kMarkupSources = {
    "QTextHtmlParser", "QFont::setPointSize", "QFont::setPixelSize", "QCss", "QTextDocument"};

QtMessageHandler g_nextHandler = nullptr;
std::mutex g_mutex;  // Qt may report from any of its threads
Clock::time_point g_windowStart;
int g_nInWindow = 0;

bool IsAboutMarkup(QtMsgType type, const QString& message) {
  if (type != QtWarningMsg) return false;
  for (const char* source : kMarkupSources) {
    if (message.startsWith(QLatin1String(source))) return true;
  }
  return false;
}

void FilterMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (IsAboutMarkup(type, message)) {
    std::lock_guard lock(g_mutex);
    const Clock::time_point now = Clock::now();
    if (now - g_windowStart >= std::chrono::minutes(1)) {
      g_windowStart = now;
      g_nInWindow = 0;
    }
    if (++g_nInWindow > kMarkupWarningsPerMinute) {
      if (g_nInWindow == kMarkupWarningsPerMinute + 1) {
        g_nextHandler(QtWarningMsg, context,
                      QStringLiteral("murelo: further warnings about chat markup are dropped "
                                     "for the rest of this minute"));
      }
      return;
    }
  }
  g_nextHandler(type, context, message);
}

}  // namespace

void LimitMarkupWarnings() {
  g_windowStart = Clock::now();
  g_nextHandler = qInstallMessageHandler(&FilterMessage);
}

}  // namespace murelo
