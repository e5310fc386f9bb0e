// Entry point of the test programs: a QApplication on the offscreen platform, so that
// widget tests run without a display, and Qt's event loop under the sockets, as in the
// program. The user's configuration and data directories are scratch ones.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "platform/posix/stream_socket.h"
#include "platform/qt_event_loop.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const QTemporaryDir config, data;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");  // no notification reaches the desktop
  qunsetenv("XDG_RUNTIME_DIR");
  QApplication application(argc, argv);
  murelo::CQtEventLoop loop;
  const int result = RUN_ALL_TESTS();
  murelo::CStreamSocket::FinishClosingConnections(1000);
  return result;
}
