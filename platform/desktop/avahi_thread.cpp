#include "platform/desktop/avahi_thread.h"

#include <avahi-common/simple-watch.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <future>
#include <thread>
#include <utility>

namespace murelo {

struct CAvahiThread::Shared {
  std::mutex mutex;
  std::deque<std::function<void(const AvahiPoll*)>> tasks;
  bool bStop = false;
  AvahiSimplePoll* poll = avahi_simple_poll_new();
  // Tasks are announced through an eventfd the poll watches: the poll's own wakeup is
  // cleared when it prepares, so one that came between the tasks and the wait is lost.
  int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  std::promise<void> stopped;

  ~Shared() {
    if (poll != nullptr) avahi_simple_poll_free(poll);
    if (wake >= 0) close(wake);
  }

  void Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = write(wake, &one, sizeof one);
  }

  /// Runs the tasks posted so far; true once the thread is to end.
  bool RunTasks() {
    std::deque<std::function<void(const AvahiPoll*)>> now;
    bool stop;
    {
      std::lock_guard lock(mutex);
      now.swap(tasks);
      stop = bStop;
    }
    for (auto& task : now) task(avahi_simple_poll_get(poll));
    return stop;
  }

  /// The thread's life: the tasks as they come, and Avahi's events in between.
  void Run() {
    const AvahiPoll* api = avahi_simple_poll_get(poll);
    AvahiWatch* watch = api->watch_new(
        api, wake, AVAHI_WATCH_IN,
        [](AvahiWatch*, int fd, AvahiWatchEvent, void*) {
          uint64_t count;
          [[maybe_unused]] const ssize_t ignored = read(fd, &count, sizeof count);
        },
        nullptr);
    while (!RunTasks() && avahi_simple_poll_iterate(poll, -1) >= 0) {
    }
    api->watch_free(watch);
    stopped.set_value();
  }
};

CAvahiThread::CAvahiThread() : m_shared(std::make_shared<Shared>()) {
  if (m_shared->poll == nullptr || m_shared->wake < 0) return;  // no descriptor: no Avahi
  std::thread([shared = m_shared] { shared->Run(); }).detach();
}

CAvahiThread::~CAvahiThread() {
  if (m_shared->poll == nullptr || m_shared->wake < 0) return;
  std::future<void> stopped = m_shared->stopped.get_future();
  {
    std::lock_guard lock(m_shared->mutex);
    m_shared->bStop = true;
  }
  m_shared->Wake();
  stopped.wait_for(std::chrono::milliseconds(kStopWaitMs));
}

void CAvahiThread::Post(std::function<void(const AvahiPoll*)> task) {
  if (m_shared->poll == nullptr || m_shared->wake < 0) return;
  {
    std::lock_guard lock(m_shared->mutex);
    m_shared->tasks.push_back(std::move(task));
  }
  m_shared->Wake();
}

void CAvahiResults::Post(std::function<void()> call) {
  std::lock_guard lock(m_mutex);
  if (m_receiver != nullptr)
    QMetaObject::invokeMethod(m_receiver, std::move(call), Qt::QueuedConnection);
}

void CAvahiResults::Detach() {
  std::lock_guard lock(m_mutex);
  m_receiver = nullptr;
}

}  // namespace murelo
