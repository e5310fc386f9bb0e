#include "app/headless_room.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <utility>

#include "core/view_host.h"
#include "platform/cp932.h"
#include "platform/plain_text.h"
#include "platform/qt_event_loop.h"
#include "platform/room_announcer.h"
#include "platform/stream_socket.h"
#include "platform/termination_signals.h"

namespace murelo {

namespace {

class CHeadlessHost : public CViewHost {
 public:
  CHeadlessHost(CSettings& settings, uint16_t port) : m_settings(settings), m_announcer(port) {}

  void MessageBox(std::string_view text) override {
    std::fprintf(stderr, "murelo: %s\n", ToQString(text).toUtf8().constData());
  }
  void Navigate(const std::string&) override {}
  int LogLimitIndex() const override { return m_settings.m_nLogLimitIndex; }
  void EnableInput(bool) override {}
  void LoadSettings() override { m_settings.LoadSettings(); }
  void SaveSettings() override { m_settings.SaveSettings(); }
  /// Hosting is the one thing the room asks for; it asks once, at start.
  bool RunConnectDialog(CConnectChoice& choice) override {
    choice = {true, m_settings.m_strColor, m_settings.m_strName, m_settings.m_strHost};
    return true;
  }
  bool RunNameColorDialog(CNameColorChoice&) override { return false; }
  std::string InputText() const override { return {}; }
  void SetInputText(std::string_view) override {}
  void PostTask(std::function<void()> task) override { EventLoop().Post(std::move(task)); }
  void EntryLogged(const LogEntry& entry, bool) override {
    const std::time_t now = std::time(nullptr);
    char clock[16];
    std::strftime(clock, sizeof clock, "%H:%M:%S", std::localtime(&now));
    std::printf("%s %s\n", clock, PlainTextOfHtml(ToQString(entry.strHtml)).toUtf8().constData());
    std::fflush(stdout);  // a journal or a pipe sees each line as it happens
  }
  void RoomChanged(bool hosting, const std::string& name, int members) override {
    m_announcer.Update(hosting, ToQString(name), members);
  }

 private:
  CSettings& m_settings;
  CRoomAnnouncer m_announcer;
};

}  // namespace

int RunHeadlessRoom(const CStartRequest& request, char* program) {
  // A reader of the output that goes away must not end the room before its close steps.
  std::signal(SIGPIPE, SIG_IGN);
  int qtArgc = 1;  // the options are the program's, none of them Qt's
  QCoreApplication application(qtArgc, &program);
  CQtEventLoop loop;
  CSettings settings;
  settings.LoadSettings();
  ApplyToSettings(request, settings);
  if (settings.m_strName.empty() || settings.m_strColor.empty()) {
    std::fprintf(stderr,
                 "murelo: --headless の部屋には名前と色が要ります。--name と --color で"
                 "指定してください。\n");
    return kExitUsage;
  }

  const CViewOptions options = ViewOptionsFromEnvironment();
  CHeadlessHost host(settings, options.nChatPort);
  CMureloView view(host, options);
  view.OnInitialUpdate();
  ApplyToSettings(request, settings);  // over what start-up read from data.dat again
  view.OnConnectCmd();
  // The port is taken, said on standard error already, perhaps by a room in the same
  // directory: its page and settings are left as they are.
  if (!view.m_bServer) return 1;
  bool closed = false;
  OnTerminationSignal([&view, &closed] {
    if (std::exchange(closed, true)) return;  // a second signal before the loop ended
    view.OnClose();
    QCoreApplication::quit();
  });
  QCoreApplication::exec();
  CStreamSocket::FinishClosingConnections();
  return 0;
}

}  // namespace murelo
