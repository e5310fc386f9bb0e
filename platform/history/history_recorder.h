// CHistoryRecorder: takes what the conversation logs and writes it to the history store
// on a thread of its own, so that neither the relay nor the page ever waits for the
// disk. The loop's thread only appends to a bounded queue; the writer takes all that is
// queued in one transaction, five times a second at most. What the queue cannot take
// under a flood is dropped from the history (never from the chat) and counted in it.
// A full or read-only disk pauses recording, which resumes once writing works again.
#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/history/history_store.h"

namespace murelo {

/// Something the recorder tells the user, once each time it happens.
struct CHistoryNotice {
  enum class Kind { kMovedAside, kPaused, kResumed, kDropping };
  Kind kind;
  QString strText;
};

struct CHistoryOptions {
  QString strPath;    // the store's file
  int nKeepDays = 0;  // lines older than this are deleted at start and daily; 0: kept forever
};

class CHistoryRecorder {
 public:
  /// say is called, on the thread that made the recorder and from its event loop, with
  /// each thing the user should know: a broken file moved aside, recording paused or
  /// resumed, lines dropped. Each is said once, not once per line.
  CHistoryRecorder(CHistoryOptions options, std::function<void(const CHistoryNotice&)> say);
  /// Writes what is queued, waiting for that a second at most.
  ~CHistoryRecorder();
  CHistoryRecorder(const CHistoryRecorder&) = delete;
  CHistoryRecorder& operator=(const CHistoryRecorder&) = delete;

  /// Queues an event; never waits for the disk.
  void Add(CHistoryEvent event);
  /// How many lines were dropped from the history since the recorder started.
  qint64 DroppedLines() const;

  /// With a batch every 200 ms, the history takes 5,000 lines a second at most: a chat
  /// never comes near, and a flood costs the relay no more than a fraction of a core.
  static constexpr size_t kQueueLimit = 1000;

 private:
  /// What the recorder and its writer share; the writer holds it too, so that a writer
  /// left to a hung disk at the program's end touches nothing that is gone.
  struct CShared {
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<CHistoryEvent> queue;
    qint64 nDropped = 0;  // not yet written as such
    qint64 nDroppedInAll = 0;
    bool bDropsSaid = false;
    bool bStopping = false;
    bool bFinished = false;
    std::condition_variable finished;
  };
  static void Run(std::shared_ptr<CShared> shared, const CHistoryOptions& options,
                  const std::function<void(const CHistoryNotice&)>& say);

  /// Hands notice to say from this thread's loop.
  void SayLater(const CHistoryNotice& notice);

  std::shared_ptr<CShared> m_shared;
  const std::function<void(const CHistoryNotice&)> m_say;
  QObject m_context;  // said text goes no further once the recorder is gone
  std::thread m_thread;
};

}  // namespace murelo
