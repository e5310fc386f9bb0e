#include "platform/avahi_qt_poll.h"

#include <avahi-common/timeval.h>

#include <QSocketNotifier>
#include <QTimer>
#include <memory>

// Avahi declares these opaque; a poll implementation defines them.
struct AvahiWatch {
  AvahiWatchCallback callback;
  void* userdata;
  int fd;
  std::unique_ptr<QSocketNotifier> readable, writable;
  AvahiWatchEvent happened = static_cast<AvahiWatchEvent>(0);  // inside the callback
};

struct AvahiTimeout {
  AvahiTimeoutCallback callback;
  void* userdata;
  std::unique_ptr<QTimer> timer;
};

namespace murelo {

namespace {

void Dispatch(AvahiWatch* watch, AvahiWatchEvent event) {
  watch->happened = event;
  watch->callback(watch, watch->fd, event, watch->userdata);  // may free the watch
}

void WatchUpdate(AvahiWatch* watch, AvahiWatchEvent events) {
  watch->readable->setEnabled(events & (AVAHI_WATCH_IN | AVAHI_WATCH_ERR | AVAHI_WATCH_HUP));
  watch->writable->setEnabled(events & AVAHI_WATCH_OUT);
}

AvahiWatch* WatchNew(const AvahiPoll*, int fd, AvahiWatchEvent events, AvahiWatchCallback callback,
                     void* userdata) {
  auto* watch = new AvahiWatch{callback, userdata, fd,
                               std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read),
                               std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write)};
  QObject::connect(watch->readable.get(), &QSocketNotifier::activated,
                   [watch] { Dispatch(watch, AVAHI_WATCH_IN); });
  QObject::connect(watch->writable.get(), &QSocketNotifier::activated,
                   [watch] { Dispatch(watch, AVAHI_WATCH_OUT); });
  WatchUpdate(watch, events);
  return watch;
}

AvahiWatchEvent WatchGetEvents(AvahiWatch* watch) { return watch->happened; }

/// Freed from inside its own callback too: it goes once Qt is done with it, silent.
void Retire(QObject* object) {
  object->disconnect();
  object->deleteLater();
}

void WatchFree(AvahiWatch* watch) {
  Retire(watch->readable.release());
  Retire(watch->writable.release());
  delete watch;
}

void TimeoutUpdate(AvahiTimeout* timeout, const timeval* when) {
  if (when == nullptr) {
    timeout->timer->stop();
    return;
  }
  const AvahiUsec late = avahi_age(when);  // negative while the time is still ahead
  timeout->timer->start(late >= 0 ? 0 : static_cast<int>(-late / 1000));
}

AvahiTimeout* TimeoutNew(const AvahiPoll*, const timeval* when, AvahiTimeoutCallback callback,
                         void* userdata) {
  auto* timeout = new AvahiTimeout{callback, userdata, std::make_unique<QTimer>()};
  timeout->timer->setSingleShot(true);
  QObject::connect(timeout->timer.get(), &QTimer::timeout,
                   [timeout] { timeout->callback(timeout, timeout->userdata); });
  TimeoutUpdate(timeout, when);
  return timeout;
}

void TimeoutFree(AvahiTimeout* timeout) {
  timeout->timer->stop();
  Retire(timeout->timer.release());
  delete timeout;
}

}  // namespace

const AvahiPoll* QtAvahiPoll() {
  static const AvahiPoll poll = {nullptr,   WatchNew,   WatchUpdate,   WatchGetEvents,
                                 WatchFree, TimeoutNew, TimeoutUpdate, TimeoutFree};
  return &poll;
}

}  // namespace murelo
