// The program's loop: work posted while watches are called, and boxes those calls open.
#include "platform/posix/event_loop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <string>
#include <vector>

namespace murelo {
namespace {

/// A box's loop: runs until a zero timer, which it has to wait for, has fired.
void RunBox(std::vector<std::string>& order) {
  QEventLoop box;
  QTimer::singleShot(0, &box, [&] {
    order.push_back("box");
    box.quit();
  });
  box.exec();
}

TEST(EventLoopTest, WorkPostedByAWatchRunsBeforeABoxWaitsWhoeverOpensIt) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds), 0);
  std::vector<std::string> order;
  int calls = 0;
  std::unique_ptr<CFdWatch> watch;
  watch = EventLoop().Watch(fds[0], CEventLoop::Readiness::kReadable, [&](bool) {
    watch->SetEnabled(false);
    if (++calls == 1) {
      EventLoop().Post([&] { order.push_back("posted"); });
      RunBox(order);  // opened by the watch
      watch->SetEnabled(true);
      return;
    }
    EventLoop().Post([&] {
      RunBox(order);  // opened by posted work, with more work behind it
      order.push_back("end");
    });
    EventLoop().Post([&] { order.push_back("next"); });
  });
  watch->SetEnabled(true);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  QElapsedTimer waited;
  waited.start();
  while (order.size() < 5 && waited.elapsed() < 5000) QCoreApplication::processEvents();
  EXPECT_EQ(order, (std::vector<std::string>{"posted", "box", "next", "box", "end"}));
  watch.reset();
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
}  // namespace murelo
