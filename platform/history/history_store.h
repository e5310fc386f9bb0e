// CHistoryStore: every line this copy saw and its stays in rooms, in one SQLite file,
// and search over them. One store is one connection, used by one thread at a time: the
// recorder's thread writes through its own, the command line reads through another.
// The file is in WAL mode with a busy timeout, so they, and other copies of the same
// user, share it.
#pragma once

#include <sqlite3.h>

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace murelo {

/// What the store is asked to keep, in the order it happened. Texts are CP932, as the
/// conversation has them: the store turns them into UTF-8 and plain text itself, so that
/// the conversation's thread spends nothing on them.
struct CHistoryEvent {
  enum class Kind { kStayBegan, kLine, kStayEnded, kDropped };
  Kind kind = Kind::kLine;
  qint64 nTimeMs = 0;      // UTC, milliseconds since the epoch
  std::string strRoom;     // kStayBegan: the host's address as joined, or this copy's own
  std::string strName;     // kStayBegan: this copy's name; kLine: the sender's, chat lines only
  std::string strColor;    // kLine, chat lines only
  std::string strAddress;  // kLine: the sender line
  std::string strHtml;     // kLine: line 0 as logged
  bool bChatLine = false;
  qint64 nDropped = 0;  // kDropped: lines that could not be kept
};

struct CHistoryQuery {
  QString strWords;  // blank-separated; a line matches when its text holds every word
  QString strRoom;   // empty: any room
  qint64 nSinceMs = 0;
  int nLimit = 50;
  qint64 nBeforeId = 0;   // above 0: only the lines older than this one, for a next page
  bool bCountAll = true;  // false: stop at nLimit, and leave the total unknown
};

struct CHistoryHit {
  qint64 nId = 0;
  qint64 nTimeMs = 0;
  QString strRoom;
  QString strName;  // empty for a notice
  QString strColor;
  QString strPlain;
  QString strHtml;  // line 0 as logged
};

struct CHistoryResult {
  qint64 nTotal = 0;              // all the lines that match, when counted
  std::vector<CHistoryHit> hits;  // the newest of them, newest first
};

class CHistoryStore {
 public:
  /// The store at path, made if there is none (its directory mode 0700, the file 0600).
  /// A file there that is no history of this program (corrupt, or another's) is moved
  /// aside as path.broken-YYYYMMDD-HHMMSS, whose name movedAside is set to, and a new one
  /// started. Nothing when the file can be neither opened nor made.
  static std::unique_ptr<CHistoryStore> Open(const QString& path, QString& movedAside);
  /// The store at path for reading only, changing nothing there; nothing when there is
  /// none, or the file is no history of this program.
  static std::unique_ptr<CHistoryStore> OpenToRead(const QString& path);
  ~CHistoryStore();
  CHistoryStore(const CHistoryStore&) = delete;
  CHistoryStore& operator=(const CHistoryStore&) = delete;

  /// Keeps the events in one transaction; false, with nothing kept, when the disk
  /// refuses (full, read-only), and the events may be written again later.
  bool Write(const std::vector<CHistoryEvent>& events);

  std::optional<CHistoryResult> Search(const CHistoryQuery& query) const;

  /// Up to count lines of the stay of line id on either side of it, from the line
  /// after which to take them: the older ones, newest first, when older; else the newer
  /// ones, oldest first. Nothing when reading failed.
  std::optional<std::vector<CHistoryHit>> Neighbours(qint64 id, bool older, int count) const;
  /// Makes a search or a reading running on another thread end at once, failed.
  void Interrupt() { sqlite3_interrupt(m_db); }

  qint64 LineCount() const;
  /// Deletes every line and stay, and the space they took.
  bool Forget();
  /// Deletes the lines that arrived before timeMs, and the stays left empty.
  bool ExpireBefore(qint64 timeMs);
  /// The last error SQLite reported, for the one line that says why recording stopped.
  QString LastError() const;

 private:
  explicit CHistoryStore(sqlite3* db);
  bool Execute(const char* sql) const;
  // Each gives take the ids of the lines older than before whose texts hold every word
  // (and, from the first block read, some newer ones), newest first, as long as take
  // returns true; false when reading failed. The first reads every text, for
  // words too short for the index; the second the candidates the index finds for terms.
  bool ReadEveryText(const std::vector<std::string>& words, qint64 before,
                     const std::function<bool(qint64)>& take) const;
  bool ReadCandidates(const QString& terms, const std::vector<std::string>& words, qint64 before,
                      const std::function<bool(qint64)>& take) const;

  sqlite3* m_db;
  qint64 m_nOpenStay = 0;  // the stay lines go to; 0 for none
};

}  // namespace murelo
