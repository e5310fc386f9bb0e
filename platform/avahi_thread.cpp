#include "platform/avahi_thread.h"

#include <avahi-common/simple-watch.h>

#include <chrono>
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
  std::promise<void> stopped;

  ~Shared() { avahi_simple_poll_free(poll); }

  /// The thread's life: the tasks as they come, and Avahi's events in between.
  void Run() {
    for (;;) {
      std::deque<std::function<void(const AvahiPoll*)>> now;
      bool stop;
      {
        std::lock_guard lock(mutex);
        now.swap(tasks);
        stop = bStop;
      }
      for (auto& task : now) task(avahi_simple_poll_get(poll));
      if (stop) break;
      // Returns after one round of Avahi's events, or when a task is posted.
      if (avahi_simple_poll_iterate(poll, -1) < 0) break;
    }
    stopped.set_value();
  }
};

CAvahiThread::CAvahiThread() : m_shared(std::make_shared<Shared>()) {
  if (m_shared->poll == nullptr) return;  // no pipe to spare: Avahi is left out
  std::thread([shared = m_shared] { shared->Run(); }).detach();
}

CAvahiThread::~CAvahiThread() {
  if (m_shared->poll == nullptr) return;
  std::future<void> stopped = m_shared->stopped.get_future();
  {
    std::lock_guard lock(m_shared->mutex);
    m_shared->bStop = true;
  }
  avahi_simple_poll_wakeup(m_shared->poll);
  stopped.wait_for(std::chrono::milliseconds(kStopWaitMs));
}

void CAvahiThread::Post(std::function<void(const AvahiPoll*)> task) {
  if (m_shared->poll == nullptr) return;
  {
    std::lock_guard lock(m_shared->mutex);
    m_shared->tasks.push_back(std::move(task));
  }
  avahi_simple_poll_wakeup(m_shared->poll);
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
