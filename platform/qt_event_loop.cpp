#include "platform/qt_event_loop.h"

#include <glib.h>
#include <poll.h>

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <QTimer>
#include <cstddef>

namespace murelo {

namespace {

// GLib's poll function is one per context and takes no argument of ours.
CFdWatchSet* g_pollingSet = nullptr;

// GLib passes its GPollFD to poll(2) as a pollfd, as this does.
static_assert(sizeof(GPollFD) == sizeof(pollfd) && offsetof(GPollFD, fd) == offsetof(pollfd, fd) &&
              offsetof(GPollFD, events) == offsetof(pollfd, events) &&
              offsetof(GPollFD, revents) == offsetof(pollfd, revents));

gint PollThroughSet(GPollFD* fds, guint count, gint timeoutMs) {
  return g_pollingSet->Poll(reinterpret_cast<pollfd*>(fds), count, timeoutMs);
}

}  // namespace

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
  // Qt's loop on the main thread runs on GLib's default context: it waits in the set.
  if (m_watches.Fd() >= 0 && !g_pollingSet &&
      QAbstractEventDispatcher::instance()->inherits("QEventDispatcherGlib")) {
    m_pGlibContext = g_main_context_default();
    m_pGlibPoll = g_main_context_get_poll_func(m_pGlibContext);
    g_pollingSet = &m_watches;
    g_main_context_set_poll_func(m_pGlibContext, PollThroughSet);
  }
  SetEventLoop(this);
}

CQtEventLoop::~CQtEventLoop() {
  if (m_pGlibContext) {
    g_main_context_set_poll_func(m_pGlibContext, m_pGlibPoll);
    g_pollingSet = nullptr;
  }
  SetEventLoop(nullptr);
}

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
