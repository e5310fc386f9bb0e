// Started by program_bench: runs the program's own start-up and reports, on stdout,
// the time from its launch until the window is up and its resident memory, idle and
// with a full conversation shown. MURELO_PROBE_START_NS is the launcher's clock
// reading just before it started this process.
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/murelo_app.h"
#include "core/message_catalog.h"
#include "core/message_format.h"
#include "platform/page_view/page_view.h"
#include "ui/main_frame.h"

namespace {

double ResidentMegabytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void FillConversation(murelo::CMureloView& view) {
  const std::string typed =  // 今日は皆さんお元気ですか、また明日も話しましょう
      "\x8d\xa1\x93\xfa\x82\xcd\x8a\x46\x82\xb3\x82\xf1\x82\xa8\x8c\xb3\x8b\x43\x82\xc5\x82\xb7"
      "\x82\xa9\x81\x41\x82\xdc\x82\xbd\x96\xbe\x93\xfa\x82\xe0\x98\x62\x82\xb5\x82\xdc\x82\xb5"
      "\x82\xe5\x82\xa4";
  for (int i = 0; i < murelo::kMemberRows; ++i) {
    view.ProcessMessage(
        murelo::FillFormat(murelo::kAddCommandFormat, {"#00ffff", "member" + std::to_string(i)}));
  }
  for (int i = 0; i < murelo::kLogCapacity; ++i) {
    view.ProcessMessage(
        murelo::FillFormat(murelo::kChatLineFormat,
                           {"#00ffff", "member" + std::to_string(i % 20), typed, "192.168.1.20"}));
  }
  view.WritePage();
}

}  // namespace

int main(int, char** argv) {
  const char* start = std::getenv("MURELO_PROBE_START_NS");
  const int64_t startNs = start ? std::atoll(start) : NowNs();
  murelo::CMureloApp app;
  return app.Run(argv[0], {}, [&app, startNs](murelo::CMainFrame& frame) {
    frame.PageView().DrawPending();
    frame.repaint();
    std::printf("startup_ms: %.1f ms\n", static_cast<double>(NowNs() - startNs) / 1e6);
    std::printf("rss_idle_mb: %.1f MB\n", ResidentMegabytes());
    murelo::CDataDat& settings = app;
    settings.m_nLogLimitIndex = 3;
    FillConversation(frame.Conversation());
    frame.PageView().DrawPending();
    frame.repaint();
    std::printf("rss_full_mb: %.1f MB\n", ResidentMegabytes());
    std::fflush(stdout);
    frame.close();
  });
}
