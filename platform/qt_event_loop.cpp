#include "platform/qt_event_loop.h"

#include <QSocketNotifier>
#include <QTimer>

namespace murelo {

namespace {

class CQtFdWatch : public CFdWatch {
 public:
  CQtFdWatch(int fd, QSocketNotifier::Type type, std::function<void()> onReady)
      : m_notifier(new QSocketNotifier(fd, type)) {
    m_notifier->setEnabled(false);
    // The callback lives in the connection, which lives as long as the notifier, so a
    // watch destroyed from inside its own callback leaves the running callback intact.
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier,
                     [onReady = std::move(onReady)] { onReady(); });
  }
  ~CQtFdWatch() override {
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
  }
  void SetEnabled(bool enabled) override { m_notifier->setEnabled(enabled); }

 private:
  QSocketNotifier* m_notifier;
};

}  // namespace

CQtEventLoop::CQtEventLoop() { SetEventLoop(this); }

CQtEventLoop::~CQtEventLoop() { SetEventLoop(nullptr); }

std::unique_ptr<CFdWatch> CQtEventLoop::Watch(int fd, Readiness readiness,
                                              std::function<void()> onReady) {
  const auto type =
      readiness == Readiness::kReadable ? QSocketNotifier::Read : QSocketNotifier::Write;
  return std::make_unique<CQtFdWatch>(fd, type, std::move(onReady));
}

void CQtEventLoop::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(&m_context, std::move(task), Qt::QueuedConnection);
}

void CQtEventLoop::PostDelayed(int delayMs, std::function<void()> task) {
  QTimer::singleShot(delayMs, &m_context, std::move(task));
}

}  // namespace murelo
