// The epoll set under every socket: readiness while enabled only, bytes told from a close,
// hang-ups that must not spin the loop, callbacks that destroy watches or run a nested loop, reused
// numbers.
#include "platform/posix/fd_watch_set.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace murelo {
namespace {

using Readiness = CEventLoop::Readiness;

struct Pair {
  int fds[2];
  Pair() { socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds); }
  ~Pair() {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
  void Say() { ASSERT_EQ(write(fds[1], "x", 1), 1); }
};

bool SetIsReadable(const CFdWatchSet& set) {
  pollfd entry{set.Fd(), POLLIN, 0};
  return poll(&entry, 1, 0) == 1;
}

TEST(FdWatchSetTest, ReportsWhileEnabledAndAHangUpNobodyWantsStopsWaking) {
  CFdWatchSet set([] {});
  Pair pair;
  int calls = 0;
  bool bytesWaiting = false;
  auto watch = set.Watch(pair.fds[0], Readiness::kReadable, [&](bool bytes) {
    ++calls;
    bytesWaiting = bytes;
  });
  pair.Say();
  set.Dispatch();
  EXPECT_EQ(calls, 0);  // a watch starts disabled
  watch->SetEnabled(true);
  set.Dispatch();
  set.Dispatch();
  EXPECT_EQ(calls, 2);  // level-triggered: unread data is reported again
  EXPECT_TRUE(bytesWaiting);
  watch->SetEnabled(false);
  close(std::exchange(pair.fds[1], -1));
  set.Dispatch();  // the interest left behind shows once, and is dropped
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(SetIsReadable(set));  // the hang-up no longer wakes the loop
  watch->SetEnabled(true);
  set.Dispatch();
  EXPECT_EQ(calls, 3);
  EXPECT_FALSE(bytesWaiting);  // the close is no promise of bytes, unread ones or not
}

TEST(FdWatchSetTest, ACallbackMayEndOtherWatchesAndTheirNumbersBeReused) {
  CFdWatchSet set([] {});
  Pair pairs[3];
  std::unique_ptr<CFdWatch> watches[3];
  int calls = 0;
  // Whichever is reported first ends the others and puts a new connection under their
  // numbers; the others' reports in the same batch must reach neither old nor new.
  std::vector<Pair> fresh(2);
  size_t used = 0;
  for (int i = 0; i < 3; ++i) {
    watches[i] = set.Watch(pairs[i].fds[0], Readiness::kReadable, [&, i](bool) {
      ++calls;
      for (int other : {(i + 1) % 3, (i + 2) % 3}) {
        watches[other].reset();
        dup2(fresh[used].fds[0], pairs[other].fds[0]);
        fresh[used++].Say();
        watches[other] =
            set.Watch(pairs[other].fds[0], Readiness::kReadable, [&](bool) { ++calls; });
        watches[other]->SetEnabled(true);
      }
      watches[i].reset();
    });
    watches[i]->SetEnabled(true);
    pairs[i].Say();
  }
  set.Dispatch();
  EXPECT_EQ(calls, 1);
  set.Dispatch();  // the new connections are reported from the next batch on
  EXPECT_EQ(calls, 3);
}

TEST(FdWatchSetTest, ANestedDispatchLeavesNoStaleReportToTheOuterOne) {
  CFdWatchSet set([] {});
  Pair first, second;
  int secondCalls = 0;
  std::unique_ptr<CFdWatch> watchFirst, watchSecond;
  watchFirst = set.Watch(first.fds[0], Readiness::kReadable, [&](bool) {
    watchFirst->SetEnabled(false);
    set.Dispatch();  // as a message box's loop does
  });
  watchSecond = set.Watch(second.fds[0], Readiness::kReadable, [&](bool) {
    ++secondCalls;
    char buffer[8];
    while (read(second.fds[0], buffer, sizeof buffer) > 0) {
    }
  });
  watchFirst->SetEnabled(true);
  watchSecond->SetEnabled(true);
  first.Say();
  second.Say();
  set.Dispatch();
  EXPECT_EQ(secondCalls, 1);  // read in the nested loop, and not called again for nothing
}

TEST(FdWatchSetTest, ADescriptorEpollRefusesIsAlwaysReady) {
  int requests = 0;
  CFdWatchSet set([&] { ++requests; });
  const int null = open("/dev/null", O_WRONLY);
  int calls = 0;
  auto watch = set.Watch(null, Readiness::kWritable, [&](bool) { ++calls; });
  watch->SetEnabled(true);
  EXPECT_GT(requests, 0);
  set.Dispatch();
  EXPECT_EQ(calls, 1);
  watch->SetEnabled(false);
  set.Dispatch();
  EXPECT_EQ(calls, 1);
  watch.reset();
  close(null);
}

TEST(FdWatchSetTest, PollWaitsForTheLoopsDescriptorsAndTheSetsInOneWait) {
  CFdWatchSet set([] {});
  Pair loop, watched;
  int calls = 0;
  auto watch = set.Watch(watched.fds[0], Readiness::kReadable, [&](bool) { ++calls; });
  watch->SetEnabled(true);
  pollfd fds[] = {{loop.fds[0], POLLIN, 0}, {set.Fd(), POLLIN, 0}};
  EXPECT_EQ(set.Poll(fds, 2, 0), 0);
  loop.Say();
  EXPECT_EQ(set.Poll(fds, 2, 100), 1);
  EXPECT_EQ(fds[0].revents, POLLIN);
  EXPECT_EQ(fds[1].revents, 0);  // the loop's descriptor is no watch's
  set.Dispatch();
  EXPECT_EQ(calls, 0);
  watched.Say();
  EXPECT_EQ(set.Poll(fds, 2, 100), 2);
  EXPECT_EQ(fds[1].revents, POLLIN);
  set.Dispatch();  // with what the wait found
  EXPECT_EQ(calls, 1);
  // A descriptor epoll refuses, or one the set watches too, is left to poll(2).
  const int null = open("/dev/null", O_RDONLY);
  pollfd others[] = {{null, POLLIN, 0}, {watched.fds[0], POLLIN, 0}, {set.Fd(), POLLIN, 0}};
  EXPECT_EQ(set.Poll(others, 3, 100), 3);
  EXPECT_EQ(others[0].revents, POLLIN);
  close(null);
  EXPECT_EQ(set.Poll(fds, 2, 0), 2);  // and the loop's descriptors are taken in again
  set.Dispatch();
  EXPECT_EQ(calls, 2);
  // The loop closes a descriptor, and its number comes back for another file at once.
  Pair next;
  ASSERT_EQ(dup2(next.fds[0], loop.fds[0]), loop.fds[0]);
  watch->SetEnabled(false);
  set.Dispatch();
  next.Say();
  EXPECT_EQ(set.Poll(fds, 2, 100), 1);
  EXPECT_EQ(fds[0].revents, POLLIN);
}

}  // namespace
}  // namespace murelo
