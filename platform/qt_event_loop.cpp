#include "platform/qt_event_loop.h"

#include <QSocketNotifier>
#include <QTimer>

namespace murelo {

CQtEventLoop::CQtEventLoop() : m_watches([this] { Post([this] { m_watches.Dispatch(); }); }) {
  // Without an epoll set (no descriptor left at start), every watch is always ready.
  if (m_watches.Fd() >= 0) {
    auto* notifier = new QSocketNotifier(m_watches.Fd(), QSocketNotifier::Read, &m_context);
    QObject::connect(notifier, &QSocketNotifier::activated, &m_context,
                     [this] { m_watches.Dispatch(); });
  }
  SetEventLoop(this);
}

CQtEventLoop::~CQtEventLoop() { SetEventLoop(nullptr); }

std::unique_ptr<CFdWatch> CQtEventLoop::Watch(int fd, Readiness readiness,
                                              std::function<void()> onReady) {
  return m_watches.Watch(fd, readiness, std::move(onReady));
}

void CQtEventLoop::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(&m_context, std::move(task), Qt::QueuedConnection);
}

void CQtEventLoop::PostDelayed(int delayMs, std::function<void()> task) {
  QTimer::singleShot(delayMs, &m_context, std::move(task));
}

}  // namespace murelo
