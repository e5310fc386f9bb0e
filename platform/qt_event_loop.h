// The event loop of the program and its tests: Qt's, through QSocketNotifier and
// queued calls. Create it after the QCoreApplication; it installs itself.
#pragma once

#include <QObject>

#include "platform/posix/event_loop.h"

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
  QObject m_context;  // posted work dies with the loop
};

}  // namespace murelo
