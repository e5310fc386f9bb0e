#include "platform/history/history_searcher.h"

#include <QFile>
#include <chrono>

namespace murelo {

CHistorySearcher::CHistorySearcher(QString path)
    : m_shared(std::make_shared<CShared>()), m_strPath(std::move(path)) {
  // Answers go to the loop only while the searcher lives; the thread itself holds what
  // they share.
  auto answer = [shared = m_shared.get(), context = &m_context](std::function<void()> then) {
    std::lock_guard lock(shared->mutex);
    if (!shared->bStopping)
      QMetaObject::invokeMethod(context, std::move(then), Qt::QueuedConnection);
  };
  m_thread = std::thread(Run, m_shared, m_strPath, std::move(answer));
}

CHistorySearcher::~CHistorySearcher() {
  std::unique_lock lock(m_shared->mutex);
  m_shared->bStopping = true;
  if (m_shared->pStore) m_shared->pStore->Interrupt();
  m_shared->wake.notify_one();
  if (m_shared->finished.wait_for(lock, std::chrono::seconds(1),
                                  [this] { return m_shared->bFinished; })) {
    lock.unlock();
    m_thread.join();
  } else {
    m_thread.detach();
  }
}

void CHistorySearcher::Search(CHistoryQuery query,
                              std::function<void(std::optional<CHistoryResult>)> firstPage,
                              std::function<void(std::optional<qint64>)> counted) {
  const qint64 number = ++m_nSearches;
  CHistoryQuery page = query;
  page.bCountAll = false;
  Post({true, SearchWork(page, number, std::move(firstPage))}, true);
  query.nLimit = 0;  // counted only
  Post({true, SearchWork(query, number,
                         [counted = std::move(counted)](std::optional<CHistoryResult> result) {
                           counted(result ? std::optional<qint64>(result->nTotal) : std::nullopt);
                         })},
       false);
}

void CHistorySearcher::NextPage(CHistoryQuery query,
                                std::function<void(std::optional<CHistoryResult>)> done) {
  query.bCountAll = false;
  Post({true, SearchWork(std::move(query), m_nSearches, std::move(done))}, false);
}

CHistorySearcher::Work CHistorySearcher::SearchWork(
    CHistoryQuery query, qint64 number, std::function<void(std::optional<CHistoryResult>)> done) {
  return [this, path = m_strPath, query = std::move(query), done = std::move(done),
          number](CHistoryStore* store) -> std::function<void()> {
    // No history yet finds nothing; one that cannot be read is a failure.
    std::optional<CHistoryResult> result;
    if (store)
      result = store->Search(query);
    else if (!QFile::exists(path))
      result.emplace();
    return [this, done, number, result = std::move(result)] {
      if (number == m_nSearches) done(result);
    };
  };
}

void CHistorySearcher::Neighbours(
    qint64 id, bool older, int count,
    std::function<void(std::optional<std::vector<CHistoryHit>>)> done) {
  Post({false,
        [id, older, count, done = std::move(done)](CHistoryStore* store) {
          auto lines = store ? store->Neighbours(id, older, count) : std::nullopt;
          return [done, lines = std::move(lines)] { done(lines); };
        }},
       false);
}

void CHistorySearcher::LineCount(std::function<void(qint64)> done) {
  Post({false,
        [done = std::move(done)](CHistoryStore* store) {
          const qint64 count = store ? store->LineCount() : 0;
          return [done, count] { done(count); };
        }},
       false);
}

void CHistorySearcher::Forget(std::function<void(bool)> done) {
  Post({false,
        [path = m_strPath, done = std::move(done)](CHistoryStore* reader) {
          QString movedAside;  // the recorder, which writes, is the one to say so
          const auto store = reader ? CHistoryStore::Open(path, movedAside) : nullptr;
          const bool forgotten = !reader || (store && store->Forget());
          return [done, forgotten] { done(forgotten); };
        }},
       false);
}

void CHistorySearcher::Post(CRequest request, bool newSearch) {
  std::lock_guard lock(m_shared->mutex);
  if (newSearch) {
    std::erase_if(m_shared->requests, [](const CRequest& waiting) { return waiting.bSearch; });
    if (m_shared->pStore) m_shared->pStore->Interrupt();
  }
  m_shared->requests.push_back(std::move(request));
  m_shared->wake.notify_one();
}

void CHistorySearcher::Run(const std::shared_ptr<CShared>& shared, const QString& path,
                           const std::function<void(std::function<void()>)>& answer) {
  std::unique_ptr<CHistoryStore> store;  // read-only: none while there is no history
  std::unique_lock lock(shared->mutex);
  for (;;) {
    shared->wake.wait(lock, [&] { return shared->bStopping || !shared->requests.empty(); });
    if (shared->bStopping) break;
    CRequest request = std::move(shared->requests.front());
    shared->requests.pop_front();
    if (!store) {
      lock.unlock();
      store = CHistoryStore::OpenToRead(path);
      lock.lock();
    }
    if (request.bSearch) shared->pStore = store.get();
    lock.unlock();
    std::function<void()> then = request.work(store.get());
    answer(std::move(then));
    lock.lock();
    shared->pStore = nullptr;
  }
  shared->bFinished = true;
  shared->finished.notify_one();
}

}  // namespace murelo
