// The event loop of the program and its tests: Qt's, with every descriptor watch in one
// epoll set that Qt watches as a single descriptor (fd_watch_set.h), and queued calls.
// Create it after the QCoreApplication; it installs itself.
//
// Where Qt's loop runs on GLib, GLib's poll goes through the set (CFdWatchSet::Poll),
// so that the thread waits in one epoll_wait however the wait is nested.
//
// Work posted while the set's watches are being called runs as soon as that dispatch
// is over, without a turn of Qt's loop: a relay's read posts the writing of its output,
// and a posted call through Qt costs a wake-up of its own. A box opened by a watch runs
// that work before its loop first waits, as Qt's queue would.
#pragma once

#include <glib.h>

#include <QObject>
#include <deque>

#include "platform/posix/event_loop.h"
#include "platform/posix/fd_watch_set.h"

namespace murelo {

class CQtEventLoop : public CEventLoop {
 public:
  CQtEventLoop();
  ~CQtEventLoop() override;
  CQtEventLoop(const CQtEventLoop&) = delete;
  CQtEventLoop& operator=(const CQtEventLoop&) = delete;

  std::unique_ptr<CFdWatch> Watch(int fd, Readiness readiness, OnReady onReady) override;
  void Post(std::function<void()> task) override;
  void PostDelayed(int delayMs, std::function<void()> task) override;

 private:
  void PostToQt(std::function<void()> task);
  void DispatchWatches();
  /// Runs the work the dispatch deferred, oldest first, one task at a time: a task that
  /// opens a box leaves the rest to the box's loop.
  void RunDeferred();

  CFdWatchSet m_watches;
  // GLib's context and its poll function, while the loop waits through the set.
  GMainContext* m_pGlibContext = nullptr;
  GPollFunc m_pGlibPoll = nullptr;
  bool m_bDeferring = false;  // the set is calling its watches
  std::deque<std::function<void()>> m_deferred;
  QObject m_context;  // posted work and the set's notifier die with the loop, before the set
};

}  // namespace murelo
