#include "app/murelo_app.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/window_history.h"
#include "core/message_catalog.h"
#include "platform/cp932.h"
#include "platform/message_box.h"
#include "platform/page_view/markup_warnings.h"
#include "platform/posix/stream_socket.h"
#include "platform/qt_event_loop.h"
#include "platform/qt_translation.h"
#include "platform/termination_signals.h"
#include "ui/app_icon.h"
#include "ui/main_frame.h"

namespace murelo {

namespace {

constexpr char kApplicationName[] = "murelo";  // the caption of message boxes

bool HasDisplay() {
  return std::getenv("QT_QPA_PLATFORM") != nullptr || std::getenv("DISPLAY") != nullptr ||
         std::getenv("WAYLAND_DISPLAY") != nullptr;
}

bool SocketsWork() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  if (probe < 0) return false;
  close(probe);
  return true;
}

}  // namespace

int CMureloApp::Run(char* program, const CStartRequest& request,
                    std::function<void(CMainFrame&)> onShown) {
  if (!HasDisplay()) {
    std::fprintf(stderr,
                 "murelo: no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY "
                 "is set). Start it from a desktop session, or under Xvfb.\n");
    return 1;
  }
  LimitMarkupWarnings();
  int qtArgc = 1;  // the options are the program's: Qt would take --name as its own
  QApplication application(qtArgc, &program);
  InstallQtJapaneseTranslation(application);
  QApplication::setApplicationName(kApplicationName);
  QApplication::setWindowIcon(AppIcon());
  CQtEventLoop loop;

  if (!SocketsWork()) {
    ShowMessageBox(nullptr, kBoxSocketInitFailed);
    return 1;
  }

  int status = 0;
  {
    CViewOptions options = ViewOptionsFromEnvironment();
    options.pageWriteInterval = kWindowPageWriteInterval;
    CMainFrame frame(*this, options);
    const CWindowHistory history(frame);
    frame.Conversation().OnInitialUpdate();
    ApplyToSettings(request, *this);  // over what start-up read from data.dat
    frame.show();
    if (request.ConnectsAtStart()) {
      QMetaObject::invokeMethod(
          &frame, [&frame, &request] { frame.ConnectAtStart(request.bHost); },
          Qt::QueuedConnection);
    }

    // Every way of ending runs the window's close steps: farewell, settings, page.
    OnTerminationSignal([&frame] { frame.close(); });
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &frame,
                     [&frame] { frame.close(); });
    if (onShown) {
      QMetaObject::invokeMethod(
          &frame, [&frame, &onShown] { onShown(frame); }, Qt::QueuedConnection);
    }
    status = QApplication::exec();
  }
  CStreamSocket::FinishClosingConnections();
  return status;
}

}  // namespace murelo
