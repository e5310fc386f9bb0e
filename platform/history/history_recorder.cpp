#include "platform/history/history_recorder.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDateTime>
#include <chrono>

namespace murelo {

namespace {

using namespace std::chrono_literals;

constexpr auto kBatchInterval = 200ms;  // what arrived a second before a crash is kept
constexpr auto kRetryInterval = 2s;     // while the disk refuses
constexpr qint64 kDayMs = qint64{24} * 60 * 60 * 1000;
// The writer's niceness. Its batches take a core for milliseconds at a time; the relay
// and the room's clients go first, and the writer still keeps up with any chat, since
// the lowest priority has its share of a busy core.
constexpr int kWriterNice = 19;
}  // namespace

CHistoryRecorder::CHistoryRecorder(CHistoryOptions options,
                                   std::function<void(const CHistoryNotice&)> say)
    : m_shared(std::make_shared<CShared>()), m_say(std::move(say)) {
  // The writer hands what it says to this thread's loop, and only while the recorder
  // lives; the writer itself holds what they share.
  auto toLoop = [shared = m_shared.get(), this](const CHistoryNotice& notice) {
    std::lock_guard lock(shared->mutex);
    if (!shared->bStopping) SayLater(notice);
  };
  m_thread = std::thread(Run, m_shared, std::move(options), std::move(toLoop));
}

void CHistoryRecorder::SayLater(const CHistoryNotice& notice) {
  QMetaObject::invokeMethod(
      &m_context, [say = m_say, notice] { say(notice); }, Qt::QueuedConnection);
}

CHistoryRecorder::~CHistoryRecorder() {
  std::unique_lock lock(m_shared->mutex);
  m_shared->bStopping = true;
  m_shared->wake.notify_one();
  // A disk that hangs must not keep the program from ending: the writer is then left to
  // the process's end.
  if (m_shared->finished.wait_for(lock, 1s, [this] { return m_shared->bFinished; })) {
    lock.unlock();
    m_thread.join();
  } else {
    m_thread.detach();
  }
}

qint64 CHistoryRecorder::DroppedLines() const {
  std::lock_guard lock(m_shared->mutex);
  return m_shared->nDroppedInAll;
}

void CHistoryRecorder::Add(CHistoryEvent event) {
  CShared& shared = *m_shared;
  std::lock_guard lock(shared.mutex);
  if (shared.queue.size() >= kQueueLimit && event.kind == CHistoryEvent::Kind::kLine) {
    ++shared.nDropped;
    ++shared.nDroppedInAll;
    if (!std::exchange(shared.bDropsSaid, true))
      SayLater({CHistoryNotice::Kind::kDropping,
                u"履歴: 記録が追いつかない行は履歴から落とし、その数を記録します。"_qs});
    return;
  }
  shared.queue.push_back(std::move(event));
  if (shared.queue.size() == 1) shared.wake.notify_one();
}

void CHistoryRecorder::Run(std::shared_ptr<CShared> shared, const CHistoryOptions& options,
                           const std::function<void(const CHistoryNotice&)>& say) {
  // A batch thread never preempts another when it wakes; its niceness still gives it its
  // share of a busy core. Both apply to this thread alone.
  const sched_param scheduling{};
  sched_setscheduler(0, SCHED_BATCH, &scheduling);
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWriterNice);
  std::unique_ptr<CHistoryStore> store;
  bool paused = false;
  qint64 lastExpiry = 0;
  std::vector<CHistoryEvent> batch;
  std::unique_lock lock(shared->mutex);
  for (;;) {
    // Old lines go at start, even when nothing comes to be written, then once a day.
    const bool expiryDue = options.nKeepDays > 0 && lastExpiry == 0;
    shared->wake.wait(lock, [&] {
      return shared->bStopping || !shared->queue.empty() || !batch.empty() || expiryDue;
    });
    const bool stopping = shared->bStopping;
    // Taken whole, so that the conversation's thread never waits on the lock for long.
    std::vector<CHistoryEvent> taken;
    taken.swap(shared->queue);
    const qint64 dropped = std::exchange(shared->nDropped, 0);
    lock.unlock();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    batch.insert(batch.end(), std::make_move_iterator(taken.begin()),
                 std::make_move_iterator(taken.end()));
    if (dropped > 0) {
      CHistoryEvent event;
      event.kind = CHistoryEvent::Kind::kDropped;
      event.nTimeMs = now;
      event.nDropped = dropped;
      batch.push_back(std::move(event));
    }

    // Opened here, not at start-up: the program starts without waiting for the disk.
    if (!store) {
      QString movedAside;
      store = CHistoryStore::Open(options.strPath, movedAside);
      if (!movedAside.isEmpty())
        say({CHistoryNotice::Kind::kMovedAside,
             u"履歴ファイルが壊れているか、別のファイルでした。%1 に移し、新しく始めます。"_qs.arg(
                 movedAside)});
    }
    if (store && options.nKeepDays > 0 && now - lastExpiry >= kDayMs) {
      store->ExpireBefore(now - options.nKeepDays * kDayMs);  // tried again tomorrow
      lastExpiry = now;
    }
    if (store && store->Write(batch)) {
      batch.clear();
      if (std::exchange(paused, false))
        say({CHistoryNotice::Kind::kResumed, u"履歴の記録を再開しました。"_qs});
    } else if (!std::exchange(paused, true)) {
      say({CHistoryNotice::Kind::kPaused,
           u"履歴を記録できません (%1)。書き込めるようになれば再開します。"_qs.arg(
               store ? store->LastError() : options.strPath)});
    }

    lock.lock();
    if (stopping) break;
    if (paused) {
      // What waits meanwhile counts against the queue's limit.
      while (batch.size() > kQueueLimit && batch.back().kind == CHistoryEvent::Kind::kLine) {
        batch.pop_back();
        ++shared->nDropped;
        ++shared->nDroppedInAll;
      }
      shared->wake.wait_for(lock, kRetryInterval, [&] { return shared->bStopping; });
    } else {
      shared->wake.wait_for(lock, kBatchInterval, [&] { return shared->bStopping; });
    }
  }
  shared->bFinished = true;
  shared->finished.notify_one();
}

}  // namespace murelo
