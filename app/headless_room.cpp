#include "app/headless_room.h"

#include <QCoreApplication>
#include <cstdio>
#include <ctime>

#include "core/view_host.h"
#include "platform/cp932.h"
#include "platform/plain_text.h"
#include "platform/qt_event_loop.h"
#include "platform/stream_socket.h"
#include "platform/termination_signals.h"

namespace murelo {

namespace {

class CHeadlessHost : public CViewHost {
 public:
  explicit CHeadlessHost(CSettings& settings) : m_settings(settings) {}

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
  void EntryLogged(const LogEntry& entry) override {
    const std::time_t now = std::time(nullptr);
    char clock[16];
    std::strftime(clock, sizeof clock, "%H:%M:%S", std::localtime(&now));
    std::printf("%s %s\n", clock, PlainTextOfHtml(ToQString(entry.strHtml)).toUtf8().constData());
    std::fflush(stdout);  // a journal or a pipe sees each line as it happens
  }

 private:
  CSettings& m_settings;
};

}  // namespace

int RunHeadlessRoom(const CStartRequest& request, int argc, char** argv) {
  QCoreApplication application(argc, argv);
  CQtEventLoop loop;
  CSettings settings;
  settings.LoadSettings();
  ApplyToSettings(request, settings);
  if (settings.m_strName.empty() || settings.m_strColor.empty()) {
    std::fprintf(stderr,
                 "murelo: --headless の部屋には名前と色が要ります。--name で名前を指定して"
                 "ください。\n");
    return kExitUsage;
  }

  CHeadlessHost host(settings);
  CMureloView view(host, ViewOptionsFromEnvironment());
  view.OnInitialUpdate();
  ApplyToSettings(request, settings);  // over what start-up read from data.dat again
  view.OnConnectCmd();
  int status = 0;
  if (view.m_bServer) {
    OnTerminationSignal([&view] {
      view.OnClose();
      QCoreApplication::quit();
    });
    QCoreApplication::exec();
  } else {
    view.OnClose();  // the port is taken: said on standard error already
    status = 1;
  }
  CStreamSocket::FinishClosingConnections();
  return status;
}

}  // namespace murelo
