#include "app/history_command.h"

#include <QDateTime>
#include <QFile>
#include <cstdio>

#include "app/history_feed.h"
#include "platform/history/history_store.h"
#include "platform/plain_text.h"

namespace murelo {

int RunHistorySearch(const CStartRequest& request) {
  if (!QFile::exists(HistoryPath())) return 1;  // nothing kept yet: nothing matches
  const std::unique_ptr<CHistoryStore> store = CHistoryStore::OpenToRead(HistoryPath());
  const std::optional<CHistoryResult> result =
      store ? store->Search({request.searchWords->join(u' '), request.strSearchRoom,
                             request.nSearchSinceMs, request.nSearchLimit})
            : std::nullopt;
  if (!result) {
    std::fprintf(stderr, "murelo: 履歴を読めません: %s\n",
                 (store ? store->LastError() : HistoryPath()).toUtf8().constData());
    return 2;
  }
  for (auto hit = result->hits.rbegin(); hit != result->hits.rend(); ++hit) {
    // The room is an address as the user typed it: shown safe for a terminal, as the
    // line's own text is.
    const QString line =
        QDateTime::fromMSecsSinceEpoch(hit->nTimeMs).toString(u"yyyy-MM-dd HH:mm:ss"_qs) + u' ' +
        PlainTextOfHtml(hit->strRoom.toHtmlEscaped()) + u' ' + hit->strPlain;
    std::printf("%s\n", line.toUtf8().constData());
  }
  if (result->nTotal > static_cast<qint64>(result->hits.size()))
    std::fprintf(stderr, "murelo: %lld 件のうち新しい %zu 件を表示しました。\n",
                 static_cast<long long>(result->nTotal), result->hits.size());
  return result->nTotal > 0 ? 0 : 1;
}

int RunForgetHistory() {
  QString movedAside;
  const std::unique_ptr<CHistoryStore> store = CHistoryStore::Open(HistoryPath(), movedAside);
  const qint64 lines = store ? store->LineCount() : 0;
  if (!store || !store->Forget()) {
    std::fprintf(stderr, "murelo: 履歴を消去できません: %s\n",
                 (store ? store->LastError() : HistoryPath()).toUtf8().constData());
    return 1;
  }
  std::printf("murelo: 履歴を消去しました (%lld 行): %s\n", static_cast<long long>(lines),
              HistoryPath().toUtf8().constData());
  return 0;
}

}  // namespace murelo
