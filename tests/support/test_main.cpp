// Entry point of the test programs: a QApplication on the offscreen platform, so that
// widget tests run without a display, and Qt's event loop under the sockets, as in the
// program. The user's configuration and data directories are scratch ones, emptied
// before each test: run whole, a program's tests would otherwise see each other's
// settings and history, as they never do one at a time under ctest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "platform/posix/stream_socket.h"
#include "platform/qt_event_loop.h"

namespace {

class CScratchEmptier : public testing::EmptyTestEventListener {
 public:
  explicit CScratchEmptier(QStringList dirs) : m_dirs(std::move(dirs)) {}
  void OnTestStart(const testing::TestInfo&) override {
    for (const QString& dir : m_dirs) {
      QDir(dir).removeRecursively();
      QDir().mkpath(dir);
    }
  }

 private:
  QStringList m_dirs;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const QTemporaryDir config, data;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");  // no notification reaches the desktop
  qunsetenv("XDG_RUNTIME_DIR");
  testing::UnitTest::GetInstance()->listeners().Append(
      new CScratchEmptier({config.path(), data.path()}));
  QApplication application(argc, argv);
  murelo::CQtEventLoop loop;
  const int result = RUN_ALL_TESTS();
  murelo::CStreamSocket::FinishClosingConnections(1000);
  return result;
}
