// CAvahiThread: a thread of its own for talking to the Avahi daemon. avahi-client makes
// blocking D-Bus calls (a resolver's creation, a service's registration, the client's
// start); on the chat's thread, a daemon that is flooded, slow or stopped would hold up
// the whole room. Work is handed to this thread as tasks, which run there with its
// AvahiPoll; what they find goes back to Qt's loop as queued calls (CAvahiResults).
#pragma once

#include <avahi-common/watch.h>

#include <QObject>
#include <functional>
#include <memory>
#include <mutex>

namespace murelo {

class CAvahiThread {
 public:
  CAvahiThread();
  /// Runs the tasks posted so far, then ends the thread; waits for it at most
  /// kStopWaitMs, and otherwise leaves it to end alone, which it does safely.
  ~CAvahiThread();
  CAvahiThread(const CAvahiThread&) = delete;
  CAvahiThread& operator=(const CAvahiThread&) = delete;

  static constexpr int kStopWaitMs = 300;

  /// Runs task on the Avahi thread, after the tasks posted before it.
  void Post(std::function<void(const AvahiPoll*)> task);

 private:
  struct Shared;
  std::shared_ptr<Shared> m_shared;
};

/// The way back from the Avahi thread: calls to run on the receiver's thread while the
/// receiver exists. The receiver's owner calls Detach before the receiver goes.
class CAvahiResults {
 public:
  explicit CAvahiResults(QObject* receiver) : m_receiver(receiver) {}
  /// From any thread.
  void Post(std::function<void()> call);
  void Detach();

 private:
  std::mutex m_mutex;
  QObject* m_receiver;
};

}  // namespace murelo
