// CFdWatchSet: every file-descriptor watch of the program in one epoll set, so that the
// event loop waits on a single descriptor however many connections are open, and a
// watch turned off and on again within one handler costs no system call. Qt's loop
// polls every descriptor it watches at every turn, and wakes itself each time a
// notifier is switched, which a relay switches twice for every read.
//
// Watches are level-triggered, as poll's are. A disabled watch leaves its interest in
// the kernel until the descriptor is next reported, and only then is the interest
// dropped: most watches are switched back on before that. A descriptor no enabled
// watch wants is taken out of the set, so that a hang-up, which epoll reports whatever
// it is asked, cannot wake the loop again and again. A descriptor epoll refuses (a
// regular file, /dev/null) is always ready, as poll says.
//
// Single-threaded: the set, its watches and Dispatch belong to the loop's thread.
#pragma once

#include <poll.h>
#include <sys/epoll.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/posix/event_loop.h"

namespace murelo {

class CFdWatchSet {
 public:
  static constexpr int kEventsPerDispatch = 64;  // more wait for the next turn

  /// requestDispatch is called when Dispatch must run soon although Fd() may not turn
  /// readable: a descriptor epoll refuses was switched on, or stays on.
  explicit CFdWatchSet(std::function<void()> requestDispatch);
  ~CFdWatchSet();
  CFdWatchSet(const CFdWatchSet&) = delete;
  CFdWatchSet& operator=(const CFdWatchSet&) = delete;

  /// The epoll descriptor: readable while some enabled watch is ready.
  int Fd() const { return m_epollFd; }

  /// As CEventLoop::Watch. The set must outlive the watch.
  std::unique_ptr<CFdWatch> Watch(int fd, CEventLoop::Readiness readiness,
                                  CEventLoop::OnReady onReady);

  /// Calls every enabled watch that is ready now; never waits.
  void Dispatch();

  /// poll(2) for an event loop that waits on Fd() among its own descriptors, done as one
  /// epoll_wait on the set: the loop's descriptors are taken into the set, and what the
  /// wait finds ready for the set's watches is kept for the next Dispatch, which then
  /// asks the kernel nothing. Sleeping in poll over the set, then asking it again, cost
  /// a relayed line more than all its other system calls but the sends. Falls back to
  /// poll(2) when fds lacks Fd(), or holds a descriptor epoll refuses or one the set
  /// watches itself.
  int Poll(pollfd* fds, size_t count, int timeoutMs);

 private:
  class CWatch;
  struct CEntry {
    CWatch* watches[2] = {};     // by readiness: readable, writable
    uint32_t nKernelEvents = 0;  // what the epoll set asks for; 0: not in the set
    uint32_t nGeneration = 0;    // tells a reused descriptor's reports from its old ones
    bool bAlwaysReady = false;   // epoll refused it
  };

  uint32_t WantedEvents(const CEntry& entry) const;
  /// Brings the kernel's interest in fd to what its enabled watches want.
  void Apply(int fd, CEntry& entry);
  /// Calls fd's watch for readiness if it is still the one reported, and enabled.
  void Fire(int fd, uint32_t generation, CEventLoop::Readiness readiness, bool bytesWaiting);
  void Enable(CWatch& watch);
  void Forget(CWatch& watch);
  /// Brings the set's interest in the loop's descriptors to fds's; false if one is refused.
  bool TakeLoopFds(const pollfd* fds, size_t count);

  const int m_epollFd;
  const std::function<void()> m_requestDispatch;
  std::unordered_map<int, CEntry> m_entries;
  uint32_t m_nGenerations = 0;
  size_t m_nAlwaysReady = 0;   // entries epoll refused
  uint64_t m_nDispatches = 0;  // a nested loop's dispatch makes the outer one's reports stale
  // One of the loop's descriptors in the set, reported with generation 0. A descriptor
  // closed leaves the set, and its number may come back for another file before the
  // next Poll sees the list change: the file's identity tells. Sockets and pipes each
  // have their own; descriptors without a file (an eventfd) share one, and the loop's
  // one such, GLib's wake-up, lives as long as the loop.
  struct CLoopFd {
    int fd;
    uint32_t events;
    dev_t device;
    ino_t inode;
    bool operator==(const CLoopFd&) const = default;
  };
  std::vector<CLoopFd> m_loopFds, m_wantedLoopFds;
  epoll_event m_keptReady[kEventsPerDispatch] = {};
  int m_nKeptReady = -1;  // reports Poll found for the next Dispatch; -1: none
};

}  // namespace murelo
