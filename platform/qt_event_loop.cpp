#include "platform/qt_event_loop.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <QTimer>

namespace murelo {

// The set asks through Qt: a descriptor that is always ready asks again from each
// dispatch, and must not keep the dispatch from returning to Qt's loop.
CQtEventLoop::CQtEventLoop() : m_watches([this] { PostToQt([this] { DispatchWatches(); }); }) {
  // Without an epoll set (no descriptor left at start), every watch is always ready.
  if (m_watches.Fd() >= 0) {
    auto* notifier = new QSocketNotifier(m_watches.Fd(), QSocketNotifier::Read, &m_context);
    QObject::connect(notifier, &QSocketNotifier::activated, &m_context,
                     [this] { DispatchWatches(); });
  }
  QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                   &m_context, [this] { RunDeferred(); });
  SetEventLoop(this);
}

CQtEventLoop::~CQtEventLoop() { SetEventLoop(nullptr); }

std::unique_ptr<CFdWatch> CQtEventLoop::Watch(int fd, Readiness readiness, OnReady onReady) {
  return m_watches.Watch(fd, readiness, std::move(onReady));
}

void CQtEventLoop::Post(std::function<void()> task) {
  if (m_bDeferring) {
    m_deferred.push_back(std::move(task));
    return;
  }
  PostToQt(std::move(task));
}

void CQtEventLoop::PostDelayed(int delayMs, std::function<void()> task) {
  QTimer::singleShot(delayMs, &m_context, std::move(task));
}

void CQtEventLoop::PostToQt(std::function<void()> task) {
  QMetaObject::invokeMethod(&m_context, std::move(task), Qt::QueuedConnection);
}

void CQtEventLoop::DispatchWatches() {
  m_bDeferring = true;
  m_watches.Dispatch();
  RunDeferred();
}

void CQtEventLoop::RunDeferred() {
  // From here on the handler that posted has returned, or a box's loop is about to wait:
  // what is posted now goes through Qt.
  m_bDeferring = false;
  while (!m_deferred.empty()) {
    const std::function<void()> task = std::move(m_deferred.front());
    m_deferred.pop_front();
    task();
  }
}

}  // namespace murelo
