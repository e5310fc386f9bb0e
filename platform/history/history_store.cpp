#include "platform/history/history_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <chrono>
#include <limits>
#include <thread>

#include "platform/cp932.h"
#include "platform/history/search_text.h"
#include "platform/history/text_block.h"
#include "platform/plain_text.h"

namespace murelo {

namespace {

using namespace std::string_literals;

// "murl": the store's files say whose they are, so a foreign database is never taken
// for a history, nor written into.
constexpr int kApplicationId = 0x6d75726c;

// Raised when the tables change: a file of another version is moved aside, not misread.
constexpr int kSchemaVersion = 3;

constexpr char kSchema[] = R"(
CREATE TABLE IF NOT EXISTS stays(id INTEGER PRIMARY KEY, began_ms INTEGER NOT NULL,
  ended_ms INTEGER, room TEXT NOT NULL, name TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS lines(id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL, stay INTEGER,
  chat INTEGER NOT NULL, name TEXT, color TEXT, address TEXT NOT NULL, html TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS text_blocks(id INTEGER PRIMARY KEY, folded TEXT NOT NULL);
CREATE VIRTUAL TABLE IF NOT EXISTS texts_index USING fts5(folded, content='',
  tokenize='trigram case_sensitive 1', detail='none', columnsize=0);
CREATE TABLE IF NOT EXISTS dropped(time_ms INTEGER NOT NULL, lines INTEGER NOT NULL);
)";
// What search reads of a line, its plain text folded, is kept apart from the rest of it,
// in blocks (text_block.h), so that reading every text for a short word reads no more
// than the texts. The plain text itself is the page's line read as the window shows it:
// made again from line 0 for the lines a search shows. The trigram index finds the lines
// that hold some of a word's trigrams anywhere, not only in sequence (detail='none' keeps
// no positions, a third of its size, and takes no phrase): every candidate is checked
// against its folded text, which also serves the words too short to have a trigram.

/// One prepared statement; its parameters and columns count from 1 and 0, as SQLite's.
class CStatement {
 public:
  CStatement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
  ~CStatement() { sqlite3_finalize(m_stmt); }
  CStatement(const CStatement&) = delete;
  CStatement& operator=(const CStatement&) = delete;

  void Bind(int index, qint64 value) { sqlite3_bind_int64(m_stmt, index, value); }
  void Bind(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()),
                      SQLITE_TRANSIENT);
  }
  void Bind(int index, std::string_view utf8) {
    sqlite3_bind_text(m_stmt, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
  }
  void BindCp932(int index, const std::string& text) { Bind(index, ToQString(text)); }
  void BindNull(int index) { sqlite3_bind_null(m_stmt, index); }
  /// SQLITE_ROW, SQLITE_DONE or the error.
  int Step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
  bool Run() {
    const bool done = Step() == SQLITE_DONE;
    Reset();
    return done;
  }
  void Reset() { sqlite3_reset(m_stmt); }
  qint64 Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
  QString Text(int column) const {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column)),
                             sqlite3_column_bytes(m_stmt, column));
  }
  /// Valid until the statement steps again or is reset.
  std::string_view Utf8(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return {text ? text : "", static_cast<size_t>(sqlite3_column_bytes(m_stmt, column))};
  }

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

constexpr char kBlockAtOrBefore[] =
    "SELECT id, folded FROM text_blocks WHERE id <= ? ORDER BY id DESC LIMIT 1";

/// The block whose first line is the last at or before id, read through blockAt
/// (kBlockAtOrBefore); nothing when there is none, or reading failed.
std::optional<CTextBlock> BlockAtOrBefore(CStatement& blockAt, qint64 id) {
  blockAt.Bind(1, id);
  std::optional<CTextBlock> block;
  if (blockAt.Step() == SQLITE_ROW) block.emplace(blockAt.Int(0), std::string(blockAt.Utf8(1)));
  blockAt.Reset();
  return block;
}

constexpr char kSaveBlock[] = "INSERT OR REPLACE INTO text_blocks(id, folded) VALUES(?, ?)";

bool SaveBlock(CStatement& save, const CTextBlock& block) {
  save.Bind(1, block.First());
  save.Bind(2, std::string_view(block.Text()));
  return save.Run();
}

/// What a hit shows, read from lines l and stays s, in the order HitOf takes it.
const std::string kHitColumns =
    "SELECT l.id, l.time_ms, coalesce(s.room, ''), coalesce(l.name, ''), coalesce(l.color, ''), "
    "l.html FROM lines l LEFT JOIN stays s ON s.id = l.stay";

CHistoryHit HitOf(const CStatement& row) {
  const QString html = row.Text(5);
  return {row.Int(0), row.Int(1), row.Text(2), row.Text(3), row.Text(4), PlainTextOfHtml(html),
          html};
}

/// The index's terms that find the lines holding words: for each word long enough,
/// trigrams at every third character and the last one, which together cover it.
QString TrigramTerms(const QStringList& words) {
  QStringList terms;
  for (const QString& word : words) {
    const std::u32string characters = word.toStdU32String();
    const auto length = static_cast<qsizetype>(characters.size());
    for (qsizetype at = 0; at + kIndexedWordLength <= length; at += kIndexedWordLength) {
      for (const qsizetype start : {at, length - kIndexedWordLength}) {
        const QString trigram = QString::fromUcs4(characters.data() + start, kIndexedWordLength);
        terms << u'"' + QString(trigram).replace(u'"', u"\"\""_qs) + u'"';
      }
    }
  }
  terms.removeDuplicates();
  return terms.join(u' ');
}

/// The directory made private to this user, and the file made with no access for others
/// before SQLite opens it (its journal files take the file's mode).
bool PrepareFile(const QString& path) {
  const QByteArray directory = QFileInfo(path).absolutePath().toLocal8Bit();
  if (!QDir().mkpath(QString::fromLocal8Bit(directory))) return false;
  chmod(directory.constData(), 0700);
  const int fd =
      open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  close(fd);
  return true;
}

enum class FileState { kHistory, kBroken, kUnusable };

/// Opens path and makes sure it is this program's history, creating the tables in a new
/// file.
FileState StateOf(int result) {
  if (result == SQLITE_NOTADB || result == SQLITE_CORRUPT) return FileState::kBroken;
  return result == SQLITE_OK ? FileState::kHistory : FileState::kUnusable;
}

/// Whether the open file is this program's history, as one transaction sees it.
FileState CheckHistory(sqlite3* db) {
  CStatement id(db, "PRAGMA application_id");
  const int read = id.Step();
  if (read != SQLITE_ROW) return StateOf(read);
  if (id.Int(0) == kApplicationId) {
    CStatement version(db, "PRAGMA user_version");
    return version.Step() == SQLITE_ROW && version.Int(0) == kSchemaVersion ? FileState::kHistory
                                                                            : FileState::kBroken;
  }
  CStatement tables(db, "SELECT count(*) FROM sqlite_schema");  // a new, empty file
  return tables.Step() == SQLITE_ROW && tables.Int(0) == 0 ? FileState::kHistory
                                                           : FileState::kBroken;
}

/// Opens path and makes sure it is this program's history, creating the tables in a new
/// file. Another copy of this user opening it at the same moment waits for the
/// transaction that looks and creates, and never sees the file half made.
FileState OpenHistory(const QString& path, sqlite3*& db) {
  if (!PrepareFile(path)) return errno == ELOOP ? FileState::kBroken : FileState::kUnusable;
  if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr) != SQLITE_OK)
    return FileState::kUnusable;
  sqlite3_busy_timeout(db, 5000);  // another copy of this user may be writing
  // The journal mode stays with the file, and cannot change inside a transaction. Making a
  // new file WAL takes it whole for a moment: two copies doing so at once would wait on
  // each other, and SQLite answers one of them busy at once rather than let them. That
  // one tries again, and finds the file in WAL mode already.
  int result = SQLITE_BUSY;
  for (int attempt = 0; result == SQLITE_BUSY && attempt < 20; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    result = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  }
  FileState state = StateOf(result);
  if (state == FileState::kHistory)
    state = StateOf(
        sqlite3_exec(db, "PRAGMA synchronous=NORMAL; BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
  if (state == FileState::kHistory) state = CheckHistory(db);
  if (state == FileState::kHistory) {
    state = StateOf(sqlite3_exec(
        db,
        (QByteArray("PRAGMA application_id=") + QByteArray::number(kApplicationId) +
         "; PRAGMA user_version=" + QByteArray::number(kSchemaVersion) + ";" + kSchema + "COMMIT")
            .constData(),
        nullptr, nullptr, nullptr));
  }
  if (state != FileState::kHistory) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return state;
}

}  // namespace

std::unique_ptr<CHistoryStore> CHistoryStore::Open(const QString& path, QString& movedAside) {
  sqlite3* db = nullptr;
  FileState state = OpenHistory(path, db);
  if (state == FileState::kBroken) {
    sqlite3_close(db);
    db = nullptr;
    movedAside = path + ".broken-" + QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_qs);
    QFile::remove(path + "-shm");
    QFile::rename(path + "-wal", movedAside + "-wal");
    if (!QFile::rename(path, movedAside)) movedAside.clear();
    state = OpenHistory(path, db);
  }
  if (state != FileState::kHistory) {
    sqlite3_close(db);
    return nullptr;
  }
  return std::unique_ptr<CHistoryStore>(new CHistoryStore(db));
}

std::unique_ptr<CHistoryStore> CHistoryStore::OpenToRead(const QString& path) {
  sqlite3* db = nullptr;
  bool ours = false;
  if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                      SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(db, 5000);
    // A search may read every text: mapped, the file's pages are read where the system
    // keeps them, not copied into SQLite's cache one by one.
    sqlite3_exec(db, "PRAGMA mmap_size=1073741824", nullptr, nullptr, nullptr);
    CStatement id(db, "PRAGMA application_id");
    ours = id.Step() == SQLITE_ROW && id.Int(0) == kApplicationId;
  }
  if (ours) return std::unique_ptr<CHistoryStore>(new CHistoryStore(db));
  sqlite3_close(db);
  return nullptr;
}

CHistoryStore::CHistoryStore(sqlite3* db) : m_db(db) {}

CHistoryStore::~CHistoryStore() { sqlite3_close(m_db); }

bool CHistoryStore::Execute(const char* sql) const {
  return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CHistoryStore::Write(const std::vector<CHistoryEvent>& events) {
  if (!Execute("BEGIN IMMEDIATE")) return false;
  CStatement stay(m_db, "INSERT INTO stays(began_ms, room, name) VALUES(?, ?, ?)");
  CStatement ended(m_db, "UPDATE stays SET ended_ms = ? WHERE id = ?");
  CStatement line(m_db,
                  "INSERT INTO lines(time_ms, stay, chat, name, color, address, html) "
                  "VALUES(?, ?, ?, ?, ?, ?, ?)");
  CStatement blockAt(m_db, kBlockAtOrBefore);
  CStatement saveBlock(m_db, kSaveBlock);
  CStatement indexed(m_db, "INSERT INTO texts_index(rowid, folded) VALUES(?, ?)");
  CStatement dropped(m_db, "INSERT INTO dropped(time_ms, lines) VALUES(?, ?)");
  qint64 openStay = m_nOpenStay;
  // Lines join the last block while their ids follow on, which they do but when
  // another copy writes the same file.
  std::optional<CTextBlock> block = BlockAtOrBefore(blockAt, std::numeric_limits<qint64>::max());
  bool blockChanged = false;
  bool ok = true;
  for (const CHistoryEvent& event : events) {
    switch (event.kind) {
      case CHistoryEvent::Kind::kStayBegan:
        stay.Bind(1, event.nTimeMs);
        stay.BindCp932(2, event.strRoom);
        stay.BindCp932(3, event.strName);
        ok = ok && stay.Run();
        openStay = sqlite3_last_insert_rowid(m_db);
        break;
      case CHistoryEvent::Kind::kStayEnded:
        ended.Bind(1, event.nTimeMs);
        ended.Bind(2, openStay);
        ok = ok && ended.Run();
        openStay = 0;
        break;
      case CHistoryEvent::Kind::kLine: {
        line.Bind(1, event.nTimeMs);
        openStay ? line.Bind(2, openStay) : line.BindNull(2);
        line.Bind(3, event.bChatLine ? 1 : 0);
        event.bChatLine ? line.BindCp932(4, event.strName) : line.BindNull(4);
        event.bChatLine ? line.BindCp932(5, event.strColor) : line.BindNull(5);
        line.BindCp932(6, event.strAddress);
        const QString html = ToQString(event.strHtml);
        line.Bind(7, html);
        ok = ok && line.Run();
        const qint64 id = sqlite3_last_insert_rowid(m_db);
        if (!block || !block->Takes(id)) {
          ok = ok && (!blockChanged || SaveBlock(saveBlock, *block));
          block.emplace(id, std::string());
        }
        block->Append(FoldForSearch(PlainTextOfHtml(html)).toStdString());
        blockChanged = true;
        indexed.Bind(1, id);
        indexed.Bind(2, block->TextOf(id));
        ok = ok && indexed.Run();
        break;
      }
      case CHistoryEvent::Kind::kDropped:
        dropped.Bind(1, event.nTimeMs);
        dropped.Bind(2, event.nDropped);
        ok = ok && dropped.Run();
        break;
    }
    if (!ok) break;
  }
  ok = ok && (!blockChanged || SaveBlock(saveBlock, *block));
  if (!ok || !Execute("COMMIT")) {
    Execute("ROLLBACK");
    return false;
  }
  m_nOpenStay = openStay;
  return true;
}

std::optional<CHistoryResult> CHistoryStore::Search(const CHistoryQuery& query) const {
  const QStringList folded = QueryWords(query.strWords);
  std::vector<std::string> words;
  for (const QString& word : folded) words.push_back(word.toStdString());
  CHistoryResult result;
  if (words.empty()) return result;
  CStatement line(m_db, (kHitColumns + " WHERE l.id = ?"s).c_str());
  // Every match is counted; only the ones shown, or the ones a room or a time may rule
  // out, are read.
  const bool narrowed = !query.strRoom.isEmpty() || query.nSinceMs > 0;
  const qint64 before = query.nBeforeId > 0 ? query.nBeforeId : std::numeric_limits<qint64>::max();
  // A word of three characters is one trigram, whose lines the index finds exactly: with
  // only such words it counts them, and reading ends at a full page.
  const bool indexCounts =
      !narrowed && query.nBeforeId == 0 && std::ranges::all_of(folded, [](const QString& word) {
        return std::ssize(word.toStdU32String()) == kIndexedWordLength;
      });
  const bool endsFull = !query.bCountAll || indexCounts;
  const auto full = [&] { return std::ssize(result.hits) >= query.nLimit; };
  const auto take = [&](qint64 id) {
    if (id >= before) return true;  // in the first block read
    if (full() && endsFull) return false;
    if (full() && !narrowed) {
      ++result.nTotal;
      return true;
    }
    line.Bind(1, id);
    const int step = line.Step();
    if (step == SQLITE_ROW && (query.strRoom.isEmpty() || line.Text(2) == query.strRoom) &&
        line.Int(1) >= query.nSinceMs) {
      ++result.nTotal;
      if (!full()) result.hits.push_back(HitOf(line));
    }
    line.Reset();
    return step == SQLITE_ROW || step == SQLITE_DONE;
  };
  const QString terms = TrigramTerms(folded);
  const bool read = terms.isEmpty() ? ReadEveryText(words, before, take)
                                    : ReadCandidates(terms, words, before, take);
  // Stopped on purpose at a full page, or at the end: both read well.
  if (!read && !(endsFull && full())) return std::nullopt;
  if (indexCounts && query.bCountAll && full()) {
    CStatement count(m_db, "SELECT count(*) FROM texts_index WHERE texts_index MATCH ?");
    count.Bind(1, terms);
    if (count.Step() != SQLITE_ROW) return std::nullopt;
    result.nTotal = count.Int(0);
  }
  return result;
}

std::optional<std::vector<CHistoryHit>> CHistoryStore::Neighbours(qint64 id, bool older,
                                                                  int count) const {
  CStatement lines(
      m_db, (kHitColumns + (older ? " WHERE l.id < ?1 AND l.stay IS (SELECT stay FROM lines WHERE "
                                    "id = ?1) ORDER BY l.id DESC LIMIT ?2"s
                                  : " WHERE l.id > ?1 AND l.stay IS (SELECT stay FROM lines WHERE "
                                    "id = ?1) ORDER BY l.id LIMIT ?2"s))
                .c_str());
  lines.Bind(1, id);
  lines.Bind(2, qint64{count});
  std::vector<CHistoryHit> found;
  int step;
  while ((step = lines.Step()) == SQLITE_ROW) found.push_back(HitOf(lines));
  if (step != SQLITE_DONE) return std::nullopt;
  return found;
}

bool CHistoryStore::ReadEveryText(const std::vector<std::string>& words, qint64 before,
                                  const std::function<bool(qint64)>& take) const {
  CStatement blocks(m_db, "SELECT id, folded FROM text_blocks WHERE id < ? ORDER BY id DESC");
  blocks.Bind(1, before);
  int step;
  while ((step = blocks.Step()) == SQLITE_ROW) {
    for (const int line : LinesHoldingEveryWord(blocks.Utf8(1), words))
      if (!take(blocks.Int(0) + line)) return false;
  }
  return step == SQLITE_DONE;
}

bool CHistoryStore::ReadCandidates(const QString& terms, const std::vector<std::string>& words,
                                   qint64 before, const std::function<bool(qint64)>& take) const {
  CStatement candidates(
      m_db,
      "SELECT rowid FROM texts_index WHERE texts_index MATCH ? AND rowid < ? ORDER BY rowid DESC");
  CStatement blockAt(m_db, kBlockAtOrBefore);
  candidates.Bind(1, terms);
  candidates.Bind(2, before);
  std::optional<CTextBlock> block;
  int step;
  while ((step = candidates.Step()) == SQLITE_ROW) {
    const qint64 id = candidates.Int(0);
    if (!block || id < block->First()) block = BlockAtOrBefore(blockAt, id);
    if (block && id <= block->Last() && HoldsEveryWord(block->TextOf(id), words) && !take(id))
      return false;
  }
  return step == SQLITE_DONE;
}

qint64 CHistoryStore::LineCount() const {
  CStatement count(m_db, "SELECT count(*) FROM lines");
  return count.Step() == SQLITE_ROW ? count.Int(0) : 0;
}

bool CHistoryStore::Forget() {
  m_nOpenStay = 0;
  return Execute(
             "BEGIN IMMEDIATE; DELETE FROM lines; DELETE FROM text_blocks; DELETE FROM stays; "
             "DELETE FROM dropped; INSERT INTO texts_index(texts_index) VALUES('delete-all'); "
             "COMMIT") &&
         Execute("VACUUM");  // the deleted lines' pages are overwritten, not just freed
}

bool CHistoryStore::ExpireBefore(qint64 timeMs) {
  if (!Execute("BEGIN IMMEDIATE")) return false;
  CStatement expired(m_db, "SELECT id FROM lines WHERE time_ms < ? ORDER BY id");
  CStatement blockAt(m_db, kBlockAtOrBefore);
  CStatement saveBlock(m_db, kSaveBlock);
  CStatement dropBlock(m_db, "DELETE FROM text_blocks WHERE id = ?");
  // The index forgets a line only when told its text as it was indexed.
  CStatement unindex(m_db,
                     "INSERT INTO texts_index(texts_index, rowid, folded) VALUES('delete', ?, ?)");
  std::optional<CTextBlock> block;
  bool ok = true;
  const auto putBack = [&] {
    if (!block) return;
    dropBlock.Bind(1, block->First());
    ok = ok && (block->Empty() ? dropBlock.Run() : SaveBlock(saveBlock, *block));
  };
  expired.Bind(1, timeMs);
  int step = SQLITE_OK;
  while (ok && (step = expired.Step()) == SQLITE_ROW) {
    const qint64 id = expired.Int(0);
    if (!block || id > block->Last()) {
      putBack();
      block = BlockAtOrBefore(blockAt, id);
    }
    if (!block || id > block->Last()) continue;
    unindex.Bind(1, id);
    unindex.Bind(2, block->TextOf(id));
    ok = ok && unindex.Run();
    block->Clear(id);
  }
  expired.Reset();
  putBack();
  CStatement lines(m_db, "DELETE FROM lines WHERE time_ms < ?");
  lines.Bind(1, timeMs);
  CStatement stays(m_db,
                   "DELETE FROM stays WHERE ended_ms < ?1 AND "
                   "NOT EXISTS (SELECT 1 FROM lines WHERE stay = stays.id)");
  stays.Bind(1, timeMs);
  if (!ok || step != SQLITE_DONE || !lines.Run() || !stays.Run() || !Execute("COMMIT")) {
    Execute("ROLLBACK");
    return false;
  }
  return true;
}

QString CHistoryStore::LastError() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }

}  // namespace murelo
