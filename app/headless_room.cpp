#include "app/headless_room.h"

#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <utility>

#include "app/history_feed.h"
#include "app/room_bridge.h"
#include "core/view_host.h"
#include "platform/cp932.h"
#include "platform/desktop/murelo_conf.h"
#include "platform/desktop/room_announcer.h"
#include "platform/plain_text.h"
#include "platform/posix/output_lines.h"
#include "platform/posix/stream_socket.h"
#include "platform/qt_event_loop.h"
#include "platform/termination_signals.h"

namespace murelo {

namespace {

constexpr int kFarewellMs = 1000;
// The room's page is for browsers that reload it: a write a second is plenty. Each
// replaces the file through a rename, which ext4 makes wait until the new file's blocks
// are allocated: a millisecond and more in which the relay stands still.
constexpr std::chrono::milliseconds kPageWriteInterval{1000};

class CHeadlessHost : public CViewHost {
 public:
  CHeadlessHost(CDataDat& settings, uint16_t port)
      : m_settings(settings), m_announcer(port), m_output(STDOUT_FILENO), m_errors(STDERR_FILENO) {}

  // A box that peers cause stays shut for a while once dismissed (see ShowPeerBox), so
  // a flood of them is a line now and then, not a line each.
  void MessageBox(std::string_view text) override { Say(ToQString(text)); }
  /// A line on standard error, which waits for no one.
  void Say(const QString& text) { m_errors.Write("murelo: " + text.toStdString()); }
  void Navigate(const std::string&) override {}
  int LogLimitIndex() const override { return m_settings.m_nLogLimitIndex; }
  void EnableInput(bool) override {}
  void LoadSettings() override { m_settings.LoadSettings(); }
  void SaveSettings() override {
    if (!m_settings.SaveSettings())
      m_errors.Write(
          "murelo: data.dat "
          "に設定を保存できません。書き込めないか、通常のファイルではありません。");
  }
  /// Hosting is the one thing the room asks for; it asks once, at start.
  bool RunConnectDialog(CConnectChoice& choice) override {
    choice = {true, m_settings.m_strColor, m_settings.m_strName, m_settings.m_strHost};
    return true;
  }
  bool RunNameColorDialog(CNameColorChoice&) override { return false; }
  std::string InputText() const override { return {}; }
  void SetInputText(std::string_view) override {}
  void PostTask(std::function<void()> task) override { EventLoop().Post(std::move(task)); }
  void MessageArrived(std::string_view text) override {
    if (m_pBridge) m_pBridge->MessageArrived(text);
  }
  void EntryLogged(const LogEntry& entry, bool fromPeer) override {
    if (m_pBridge) m_pBridge->EntryLogged(entry, fromPeer);
    m_output.Write(Clock() + ' ' + PlainTextOfHtml(ToQString(entry.strHtml)).toStdString());
  }
  void RoomChanged(bool hosting, const std::string& name, int members) override {
    m_announcer.Update(hosting, ToQString(name), members);
  }
  /// bridge, which must outlive the room's end, hears of every line from now on.
  void SetBridge(CRoomBridge* bridge) { m_pBridge = bridge; }

 private:
  /// The time of day, worked out once a second: a busy room prints thousands of lines.
  const std::string& Clock() {
    const std::time_t now = std::time(nullptr);
    if (now == m_clockSecond) return m_strClock;
    m_clockSecond = now;
    std::tm local;
    localtime_r(&now, &local);  // localtime would look at the time zone's file every time
    char clock[16];
    std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
    return m_strClock = clock;
  }

  CDataDat& m_settings;
  CRoomAnnouncer m_announcer;
  COutputLines m_output;
  COutputLines m_errors;
  CRoomBridge* m_pBridge = nullptr;
  std::time_t m_clockSecond = -1;
  std::string m_strClock;
};

/// The bridge the request asks for, paced as murelo.conf says; none when it asks none.
std::unique_ptr<CRoomBridge> StartBridge(const CStartRequest& request, CMureloView& view,
                                         CHeadlessHost& host) {
  if (!request.bridge) return nullptr;
  CIrcEndpoint endpoint = *request.bridge;
  endpoint.strUser = kBridgeUser;
  endpoint.strRealName = "murelo: " + ToQString(view.m_strName);
  const CMureloConf conf;
  const double rate = conf.BridgeLinesPerSecond();
  const CIrcPacing pacing{rate, std::max(1, static_cast<int>(rate)), conf.BridgeQueueLines()};
  auto bridge = std::make_unique<CRoomBridge>(view, std::move(endpoint), pacing,
                                              [&host](const QString& line) { host.Say(line); });
  host.SetBridge(bridge.get());
  bridge->Start();
  return bridge;
}

}  // namespace

int RunHeadlessRoom(const CStartRequest& request, char* program) {
  // A reader of the output that goes away must not end the room before its close steps.
  std::signal(SIGPIPE, SIG_IGN);
  int qtArgc = 1;  // the options are the program's, none of them Qt's
  QCoreApplication application(qtArgc, &program);
  CQtEventLoop loop;
  CDataDat settings;
  settings.LoadSettings();
  ApplyToSettings(request, settings);
  if (settings.m_strName.empty() || settings.m_strColor.empty()) {
    std::fprintf(stderr,
                 "murelo: --headless の部屋には名前と色が要ります。--name と --color で"
                 "指定してください。\n");
    return kExitUsage;
  }

  CViewOptions options = ViewOptionsFromEnvironment();
  options.pageWriteInterval = kPageWriteInterval;
  CHeadlessHost host(settings, options.nChatPort);
  const std::unique_ptr<CHistoryFeed> history =
      StartHistory([&host](const CHistoryNotice& notice) { host.Say(notice.strText); });
  CMureloView view(host, options);
  view.SetHistorySink(history.get());
  view.OnInitialUpdate();
  ApplyToSettings(request, settings);  // over what start-up read from data.dat again
  view.OnConnectCmd();
  // The port is taken, said on standard error already, perhaps by a room in the same
  // directory: its page and settings are left as they are.
  if (!view.m_bServer) return 1;
  const std::unique_ptr<CRoomBridge> bridge = StartBridge(request, view, host);
  bool closed = false;
  OnTerminationSignal([&view, &closed] {
    if (std::exchange(closed, true)) return;  // a second signal before the loop ended
    view.OnClose();
    QCoreApplication::quit();
  });
  QCoreApplication::exec();
  host.SetBridge(nullptr);  // the bridge goes before the room
  // A room ends within 2 s of the signal, however its peers read.
  CStreamSocket::FinishClosingConnections(kFarewellMs);
  return 0;
}

}  // namespace murelo
