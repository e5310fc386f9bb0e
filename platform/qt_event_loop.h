// The event loop of the program and its tests: Qt's, with every descriptor watch in one
// epoll set that Qt watches as a single descriptor (fd_watch_set.h), and queued calls.
// Create it after the QCoreApplication; it installs itself.
#pragma once

#include <QObject>

#include "platform/posix/event_loop.h"
#include "platform/posix/fd_watch_set.h"

namespace murelo {

class CQtEventLoop : public CEventLoop {
 public:
  CQtEventLoop();
  ~CQtEventLoop() override;
  CQtEventLoop(const CQtEventLoop&) = delete;
  CQtEventLoop& operator=(const CQtEventLoop&) = delete;

  std::unique_ptr<CFdWatch> Watch(int fd, Readiness readiness,
                                  std::function<void()> onReady) override;
  void Post(std::function<void()> task) override;
  void PostDelayed(int delayMs, std::function<void()> task) override;

 private:
  CFdWatchSet m_watches;
  QObject m_context;  // posted work and the set's notifier die with the loop, before the set
};

}  // namespace murelo
