// CPollEventLoop: the event loop of the fuzz targets, a plain poll() over the watched
// descriptors, turned by hand. It behaves as Qt's loop does for the socket layer:
// watches are level-triggered, start disabled and may be destroyed from inside their
// own callback; posted tasks run in order after the running handler. One thread.
#pragma once

#include <poll.h>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/event_loop.h"

namespace murelo::fuzz {

class CPollEventLoop : public CEventLoop {
 public:
  CPollEventLoop() { SetEventLoop(this); }
  ~CPollEventLoop() override { SetEventLoop(nullptr); }
  CPollEventLoop(const CPollEventLoop&) = delete;
  CPollEventLoop& operator=(const CPollEventLoop&) = delete;

  std::unique_ptr<CFdWatch> Watch(int fd, Readiness readiness,
                                  std::function<void()> onReady) override {
    auto record = std::make_shared<Record>(Record{fd, readiness, false, std::move(onReady)});
    m_records.push_back(record);
    return std::make_unique<CWatch>(record);
  }

  void Post(std::function<void()> task) override { m_posted.push_back(std::move(task)); }

  void PostDelayed(int delayMs, std::function<void()> task) override {
    m_timers.emplace(Clock::now() + std::chrono::milliseconds(delayMs), std::move(task));
  }

  /// One turn: the tasks posted so far, the timers that are due, then one poll of the
  /// enabled watches (waiting at most waitMs) and the callbacks of those ready.
  void Turn(int waitMs) {
    std::deque<std::function<void()>> posted;
    posted.swap(m_posted);
    for (auto& task : posted) task();
    RunDueTimers();

    // Records whose watch is gone are dropped here, never while callbacks run.
    std::erase_if(m_records,
                  [](const std::shared_ptr<Record>& record) { return record.use_count() == 1; });
    std::vector<std::shared_ptr<Record>> watched;
    std::vector<pollfd> polls;
    for (const auto& record : m_records) {
      if (!record->bEnabled) continue;
      watched.push_back(record);
      const short events = record->readiness == Readiness::kReadable ? POLLIN : POLLOUT;
      polls.push_back({record->fd, events, 0});
    }
    if (polls.empty()) return;
    if (!m_posted.empty()) waitMs = 0;
    if (poll(polls.data(), polls.size(), waitMs) <= 0) return;
    for (size_t i = 0; i < polls.size(); ++i) {
      // A callback may disable or destroy any watch, its own included; the copy of the
      // record kept in watched keeps the running callback alive.
      if (polls[i].revents == 0 || !watched[i]->bEnabled) continue;
      watched[i]->onReady();
    }
  }

  /// Runs every timer now, due or not, and those they start. For the end of a fuzz
  /// input, once every socket of it is closed: the timers left then are the lingers
  /// of connections that have already finished closing, which do nothing.
  void RunAllTimers() {
    for (int round = 0; round < 100 && !m_timers.empty(); ++round) {
      std::multimap<Clock::time_point, std::function<void()>> timers;
      timers.swap(m_timers);
      for (auto& [due, task] : timers) task();
    }
  }

  /// True while tasks are posted and not yet run.
  bool HasPostedTasks() const { return !m_posted.empty(); }

 private:
  using Clock = std::chrono::steady_clock;

  struct Record {
    int fd;
    Readiness readiness;
    bool bEnabled;
    std::function<void()> onReady;
  };

  class CWatch : public CFdWatch {
   public:
    explicit CWatch(std::shared_ptr<Record> record) : m_record(std::move(record)) {}
    ~CWatch() override { m_record->bEnabled = false; }
    void SetEnabled(bool enabled) override { m_record->bEnabled = enabled; }

   private:
    std::shared_ptr<Record> m_record;
  };

  void RunDueTimers() {
    const Clock::time_point now = Clock::now();
    std::vector<std::function<void()>> due;
    while (!m_timers.empty() && m_timers.begin()->first <= now) {
      due.push_back(std::move(m_timers.begin()->second));
      m_timers.erase(m_timers.begin());
    }
    for (auto& task : due) task();
  }

  std::vector<std::shared_ptr<Record>> m_records;
  std::deque<std::function<void()>> m_posted;
  std::multimap<Clock::time_point, std::function<void()>> m_timers;  // by due time
};

}  // namespace murelo::fuzz
