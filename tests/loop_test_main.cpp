// Entry point of the tests that run real sockets: Qt's event loop, as in the program.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "platform/qt_event_loop.h"
#include "platform/stream_socket.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QCoreApplication application(argc, argv);
  murelo::CQtEventLoop loop;
  const int result = RUN_ALL_TESTS();
  murelo::CStreamSocket::FinishClosingConnections(1000);
  return result;
}
