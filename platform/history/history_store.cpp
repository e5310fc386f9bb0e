#include "platform/history/history_store.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include "platform/cp932.h"
#include "platform/history/search_text.h"
#include "platform/plain_text.h"

namespace murelo {

namespace {

// "murl": the store's files say whose they are, so a foreign database is never taken
// for a history, nor written into.
constexpr int kApplicationId = 0x6d75726c;

// Raised when the tables change: a file of another version is moved aside, not misread.
constexpr int kSchemaVersion = 2;

constexpr char kSchema[] = R"(
CREATE TABLE IF NOT EXISTS stays(id INTEGER PRIMARY KEY, began_ms INTEGER NOT NULL,
  ended_ms INTEGER, room TEXT NOT NULL, name TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS lines(id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL, stay INTEGER,
  chat INTEGER NOT NULL, name TEXT, color TEXT, address TEXT NOT NULL, html TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS texts(id INTEGER PRIMARY KEY, folded TEXT NOT NULL);
CREATE VIRTUAL TABLE IF NOT EXISTS texts_index USING fts5(folded, content='',
  tokenize='trigram case_sensitive 1', detail='none', columnsize=0);
CREATE TABLE IF NOT EXISTS dropped(time_ms INTEGER NOT NULL, lines INTEGER NOT NULL);
)";
// What search reads of a line, its plain text folded, is kept apart from the rest of it,
// so that reading every text for a short word reads no more than the texts. The plain
// text itself is the page's line read as the window shows it: made again from line 0
// for the lines a search shows. The trigram index finds the lines that hold some of a
// word's trigrams anywhere, not only in sequence (detail='none' keeps no positions, a
// third of its size, and takes no phrase): every candidate is checked against the
// folded text itself, which also serves the words too short to have a trigram.

/// One prepared statement; its parameters and columns count from 1 and 0, as SQLite's.
class CStatement {
 public:
  CStatement(sqlite3* db, const QString& sql) {
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &m_stmt, nullptr);
  }
  ~CStatement() { sqlite3_finalize(m_stmt); }
  CStatement(const CStatement&) = delete;
  CStatement& operator=(const CStatement&) = delete;

  bool Prepared() const { return m_stmt != nullptr; }
  void Bind(int index, qint64 value) { sqlite3_bind_int64(m_stmt, index, value); }
  void Bind(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()),
                      SQLITE_TRANSIENT);
  }
  void BindCp932(int index, const std::string& text) { Bind(index, ToQString(text)); }
  void BindNull(int index) { sqlite3_bind_null(m_stmt, index); }
  /// SQLITE_ROW, SQLITE_DONE or the error.
  int Step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
  bool Run() {
    const bool done = Step() == SQLITE_DONE;
    sqlite3_reset(m_stmt);
    return done;
  }
  qint64 Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
  QString Text(int column) const {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column)),
                             sqlite3_column_bytes(m_stmt, column));
  }

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

/// contains(text, word): whether word's UTF-8 bytes are found in text's. For valid UTF-8,
/// as both always are here, that is whether the text holds the word: SQLite's instr()
/// also counts the characters before the word, which search never needs.
void Contains(sqlite3_context* context, int, sqlite3_value** values) {
  const auto* text = sqlite3_value_text(values[0]);
  const auto* word = sqlite3_value_text(values[1]);
  sqlite3_result_int(context,
                     text && word &&
                         memmem(text, static_cast<size_t>(sqlite3_value_bytes(values[0])), word,
                                static_cast<size_t>(sqlite3_value_bytes(values[1]))));
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
  CStatement id(db, u"PRAGMA application_id"_qs);
  const int read = id.Step();
  if (read != SQLITE_ROW) return StateOf(read);
  if (id.Int(0) == kApplicationId) {
    CStatement version(db, u"PRAGMA user_version"_qs);
    return version.Step() == SQLITE_ROW && version.Int(0) == kSchemaVersion ? FileState::kHistory
                                                                            : FileState::kBroken;
  }
  CStatement tables(db, u"SELECT count(*) FROM sqlite_schema"_qs);  // a new, empty file
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
  // The journal mode stays with the file, and cannot change inside a transaction.
  FileState state = StateOf(
      sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; BEGIN IMMEDIATE",
                   nullptr, nullptr, nullptr));
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
    CStatement id(db, u"PRAGMA application_id"_qs);
    ours = id.Step() == SQLITE_ROW && id.Int(0) == kApplicationId;
  }
  if (ours) return std::unique_ptr<CHistoryStore>(new CHistoryStore(db));
  sqlite3_close(db);
  return nullptr;
}

CHistoryStore::CHistoryStore(sqlite3* db) : m_db(db) {
  sqlite3_create_function_v2(m_db, "contains", 2,
                             SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                             Contains, nullptr, nullptr, nullptr);
}

CHistoryStore::~CHistoryStore() { sqlite3_close(m_db); }

bool CHistoryStore::Execute(const char* sql) const {
  return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CHistoryStore::Write(const std::vector<CHistoryEvent>& events) {
  if (!Execute("BEGIN IMMEDIATE")) return false;
  CStatement stay(m_db, u"INSERT INTO stays(began_ms, room, name) VALUES(?, ?, ?)"_qs);
  CStatement ended(m_db, u"UPDATE stays SET ended_ms = ? WHERE id = ?"_qs);
  CStatement line(m_db,
                  u"INSERT INTO lines(time_ms, stay, chat, name, color, address, html) "
                  "VALUES(?, ?, ?, ?, ?, ?, ?)"_qs);
  CStatement text(m_db, u"INSERT INTO texts(id, folded) VALUES(?, ?)"_qs);
  CStatement indexed(m_db, u"INSERT INTO texts_index(rowid, folded) VALUES(?, ?)"_qs);
  CStatement dropped(m_db, u"INSERT INTO dropped(time_ms, lines) VALUES(?, ?)"_qs);
  qint64 openStay = m_nOpenStay;
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
        const QString folded = FoldForSearch(PlainTextOfHtml(html));
        for (CStatement* insert : {&text, &indexed}) {
          insert->Bind(1, id);
          insert->Bind(2, folded);
          ok = ok && insert->Run();
        }
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
  if (!ok || !Execute("COMMIT")) {
    Execute("ROLLBACK");
    return false;
  }
  m_nOpenStay = openStay;
  return true;
}

std::optional<CHistoryResult> CHistoryStore::Search(const CHistoryQuery& query) const {
  const QStringList words = QueryWords(query.strWords);
  QStringList indexed;  // trigrams of the words long enough to have them, each a term
  QString where = u"1"_qs;
  for (const QString& word : words) {
    const std::u32string characters = word.toStdU32String();
    // Trigrams at every third character and the last one cover the word.
    const auto length = static_cast<qsizetype>(characters.size());
    for (qsizetype at = 0; at + kIndexedWordLength <= length; at += kIndexedWordLength) {
      for (const qsizetype start : {at, length - kIndexedWordLength}) {
        const QString trigram = QString::fromUcs4(characters.data() + start, kIndexedWordLength);
        indexed << u'"' + QString(trigram).replace(u'"', u"\"\""_qs) + u'"';
      }
    }
    where += u" AND contains(t.folded, ?)"_qs;
  }
  indexed.removeDuplicates();
  if (!indexed.isEmpty())
    where += u" AND t.id IN (SELECT rowid FROM texts_index WHERE texts_index MATCH ?)"_qs;
  if (!query.strRoom.isEmpty()) where += u" AND s.room = ?"_qs;
  if (query.nSinceMs > 0) where += u" AND l.time_ms >= ?"_qs;
  const QString from =
      u" FROM texts t JOIN lines l ON l.id = t.id LEFT JOIN stays s ON s.id = l.stay WHERE "_qs;
  // Counted over the texts alone when nothing else narrows the search.
  const bool narrowed = !query.strRoom.isEmpty() || query.nSinceMs > 0;
  CStatement count(m_db,
                   u"SELECT count(*)"_qs + (narrowed ? from : u" FROM texts t WHERE "_qs) + where);
  CStatement rows(m_db,
                  u"SELECT l.id, l.time_ms, coalesce(s.room, ''), coalesce(l.name, ''), "
                  "coalesce(l.color, ''), l.html"_qs +
                      from + where + u" ORDER BY t.id DESC LIMIT ?"_qs);
  for (CStatement* statement : {&count, &rows}) {
    int parameter = 0;
    for (const QString& word : words) statement->Bind(++parameter, word);
    if (!indexed.isEmpty()) statement->Bind(++parameter, indexed.join(u' '));
    if (!query.strRoom.isEmpty()) statement->Bind(++parameter, query.strRoom);
    if (query.nSinceMs > 0) statement->Bind(++parameter, query.nSinceMs);
    if (statement == &rows) statement->Bind(++parameter, qint64{query.nLimit});
  }
  CHistoryResult result;
  int step;
  while ((step = rows.Step()) == SQLITE_ROW) {
    result.hits.push_back({rows.Int(0), rows.Int(1), rows.Text(2), rows.Text(3), rows.Text(4),
                           PlainTextOfHtml(rows.Text(5))});
  }
  if (step != SQLITE_DONE) return std::nullopt;
  // Fewer than asked for are all there are: the texts are read through once at most.
  result.nTotal = static_cast<qint64>(result.hits.size());
  if (result.nTotal == query.nLimit) {
    if (count.Step() != SQLITE_ROW) return std::nullopt;
    result.nTotal = count.Int(0);
  }
  return result;
}

qint64 CHistoryStore::LineCount() const {
  CStatement count(m_db, u"SELECT count(*) FROM lines"_qs);
  return count.Step() == SQLITE_ROW ? count.Int(0) : 0;
}

bool CHistoryStore::Forget() {
  m_nOpenStay = 0;
  return Execute(
             "BEGIN IMMEDIATE; DELETE FROM lines; DELETE FROM texts; DELETE FROM stays; "
             "DELETE FROM dropped; INSERT INTO texts_index(texts_index) VALUES('delete-all'); "
             "COMMIT") &&
         Execute("VACUUM");  // the deleted lines' pages are overwritten, not just freed
}

bool CHistoryStore::ExpireBefore(qint64 timeMs) {
  CStatement expire(
      m_db,
      u"INSERT INTO texts_index(texts_index, rowid, folded) SELECT 'delete', id, folded FROM texts "
      "WHERE id IN (SELECT id FROM lines WHERE time_ms < ?1)"_qs);
  if (!Execute("BEGIN IMMEDIATE")) return false;
  expire.Bind(1, timeMs);
  CStatement texts(m_db,
                   u"DELETE FROM texts WHERE id IN (SELECT id FROM lines WHERE time_ms < ?1)"_qs);
  texts.Bind(1, timeMs);
  CStatement lines(m_db, u"DELETE FROM lines WHERE time_ms < ?1"_qs);
  lines.Bind(1, timeMs);
  CStatement stays(m_db,
                   u"DELETE FROM stays WHERE ended_ms < ?1 AND "
                   "NOT EXISTS (SELECT 1 FROM lines WHERE stay = stays.id)"_qs);
  stays.Bind(1, timeMs);
  if (!expire.Run() || !texts.Run() || !lines.Run() || !stays.Run() || !Execute("COMMIT")) {
    Execute("ROLLBACK");
    return false;
  }
  return true;
}

QString CHistoryStore::LastError() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }

}  // namespace murelo
