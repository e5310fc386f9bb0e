// CHistorySearcher: the window's reading of the history, on a thread of its own, so that
// no search, however long, runs on the user-interface thread. Each request is done there
// through a connection of its own and its answer handed to the loop of the thread that
// made the searcher. A search replaces one still waiting and interrupts one running: a
// user typing gets the answer to what is typed now, not to every key before it. Its
// first page comes before its count, which may take all the history to read.
#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/history/history_store.h"

namespace murelo {

class CHistorySearcher {
 public:
  explicit CHistorySearcher(QString path);
  /// Interrupts what runs and gives it 1 s to end; otherwise leaves it to the
  /// process's end. No answer comes after.
  ~CHistorySearcher();
  CHistorySearcher(const CHistorySearcher&) = delete;
  CHistorySearcher& operator=(const CHistorySearcher&) = delete;

  /// A new search: firstPage gets the newest query.nLimit hits, then counted how many
  /// lines match in all; none when there is no history yet, nothing when it cannot be
  /// read. Nothing more is said of a search once a newer one is made.
  void Search(CHistoryQuery query, std::function<void(std::optional<CHistoryResult>)> firstPage,
              std::function<void(std::optional<qint64>)> counted);
  /// The hits of the newest search older than query.nBeforeId, query.nLimit at most.
  void NextPage(CHistoryQuery query, std::function<void(std::optional<CHistoryResult>)> done);
  /// As CHistoryStore::Neighbours.
  void Neighbours(qint64 id, bool older, int count,
                  std::function<void(std::optional<std::vector<CHistoryHit>>)> done);
  /// How many lines the history holds; 0 when there is no history.
  void LineCount(std::function<void(qint64)> done);
  /// Deletes every line; done learns whether it could.
  void Forget(std::function<void(bool)> done);

 private:
  /// What a request does on the searcher's thread, with the store (nothing when there
  /// is no history to read); it gives back what then runs on the loop.
  using Work = std::function<std::function<void()>(CHistoryStore*)>;
  struct CRequest {
    bool bSearch = false;  // a search's page or count, which a newer search makes moot
    Work work;
  };
  struct CShared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    std::deque<CRequest> requests;
    CHistoryStore* pStore = nullptr;  // the store while a search runs, to interrupt it
    bool bStopping = false;
    bool bFinished = false;
  };

  void Post(CRequest request, bool newSearch);
  /// A request for the search numbered number: query's hits, and its answer handed to done
  /// unless a newer search was made since.
  Work SearchWork(CHistoryQuery query, qint64 number,
                  std::function<void(std::optional<CHistoryResult>)> done);
  static void Run(const std::shared_ptr<CShared>& shared, const QString& path,
                  const std::function<void(std::function<void()>)>& answer);

  std::shared_ptr<CShared> m_shared;
  const QString m_strPath;
  QObject m_context;       // answers reach the loop through it, and die with it
  qint64 m_nSearches = 0;  // the newest search's number: only its answer is given
  std::thread m_thread;
};

}  // namespace murelo
