#include "store/state_store.h"

#include <sqlite3.h>

#include "platform/fs/fs.h"

namespace harbek::store {
namespace {

// A prepared statement, finalized when it goes out of scope.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return stmt_ != nullptr; }
  Statement& bind(int i, const std::string& v) {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& bind(int i, int64_t v) {
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
  }
  int step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  std::string text(int col) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
  }
  int64_t number(int col) const { return sqlite3_column_int64(stmt_, col); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS url_state ("
    " url TEXT PRIMARY KEY,"
    " file TEXT NOT NULL DEFAULT '',"
    " status INTEGER NOT NULL DEFAULT 0,"
    " etag TEXT NOT NULL DEFAULT '',"
    " last_modified TEXT NOT NULL DEFAULT '',"
    " size INTEGER NOT NULL DEFAULT 0,"
    " fetched INTEGER NOT NULL DEFAULT 0,"
    " failure TEXT NOT NULL DEFAULT '',"
    " failed_at INTEGER NOT NULL DEFAULT 0,"
    " queued TEXT NOT NULL DEFAULT '')";

constexpr const char* kColumns = "url, file, status, etag, last_modified, size, fetched, failure, queued";

StateStore::Entry entryOf(const Statement& s) {
  return {s.text(0), s.text(1), static_cast<int>(s.number(2)), s.text(3), s.text(4), s.number(5), s.number(6), s.text(7), s.text(8)};
}

}  // namespace

StateStore::~StateStore() { close(); }

bool StateStore::open(const std::string& saveFolder, bool readOnly) {
  close();
  const std::string path = pathIn(saveFolder);
  if (!readOnly) {
    if (fs::Error e = fs::createFolders(saveFolder + "/.harbek"); e != fs::Error::kOk) {
      error_ = path + ": " + std::string(fs::errorName(e));
      return false;
    }
  }
  const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    error_ = path + ": " + (db_ ? sqlite3_errmsg(db_) : "cannot open");
    close();
    return false;
  }
  sqlite3_busy_timeout(db_, 2000);
  if (!readOnly && !(exec("PRAGMA journal_mode=WAL") && exec("PRAGMA synchronous=NORMAL") && exec(kSchema))) {
    close();
    return false;
  }
  return true;
}

void StateStore::close() {
  if (!db_) return;
  if (inTransaction_) commit();
  sqlite3_close_v2(db_);
  db_ = nullptr;
  inTransaction_ = false;
}

bool StateStore::exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  error_ = std::string(sql) + ": " + (message ? message : "failed");
  sqlite3_free(message);
  return false;
}

bool StateStore::begin() {
  if (!db_) return false;
  if (!inTransaction_) inTransaction_ = exec("BEGIN");
  return inTransaction_;
}

bool StateStore::commit() {
  if (!db_ || !inTransaction_) return true;
  inTransaction_ = false;
  return exec("COMMIT");
}

bool StateStore::saved(const Entry& e) {
  if (!begin()) return false;
  Statement s(db_,
              "INSERT INTO url_state (url, file, status, etag, last_modified, size, fetched, failure, failed_at)"
              " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, '', 0) ON CONFLICT(url) DO UPDATE SET file = ?2, status = ?3,"
              " etag = ?4, last_modified = ?5, size = ?6, fetched = ?7, failure = '', failed_at = 0");
  s.bind(1, e.url).bind(2, e.file).bind(3, int64_t{e.status}).bind(4, e.etag).bind(5, e.lastModified);
  s.bind(6, e.size).bind(7, e.fetched);
  return s.step() == SQLITE_DONE;
}

bool StateStore::failed(const std::string& url, const std::string& queued, const std::string& reason, int64_t when) {
  if (!begin()) return false;
  Statement s(db_,
              "INSERT INTO url_state (url, failure, failed_at, queued) VALUES (?1, ?2, ?3, ?4)"
              " ON CONFLICT(url) DO UPDATE SET failure = ?2, failed_at = ?3, queued = ?4");
  s.bind(1, url).bind(2, reason.empty() ? std::string("failed") : reason).bind(3, when).bind(4, queued);
  return s.step() == SQLITE_DONE;
}

std::optional<StateStore::Entry> StateStore::find(const std::string& url) {
  if (!db_) return std::nullopt;
  Statement s(db_, (std::string("SELECT ") + kColumns + " FROM url_state WHERE url = ?1").c_str());
  s.bind(1, url);
  if (s.step() != SQLITE_ROW) return std::nullopt;
  return entryOf(s);
}

std::optional<StateStore::Entry> StateStore::findByFile(const std::string& file) {
  if (!db_ || file.empty()) return std::nullopt;
  Statement s(db_, (std::string("SELECT ") + kColumns + " FROM url_state WHERE file = ?1 ORDER BY fetched DESC").c_str());
  s.bind(1, file);
  if (s.step() != SQLITE_ROW) return std::nullopt;
  return entryOf(s);
}

std::vector<StateStore::Entry> StateStore::failures() {
  std::vector<Entry> out;
  if (!db_) return out;
  Statement s(db_, (std::string("SELECT ") + kColumns + " FROM url_state WHERE failure <> '' ORDER BY failed_at, rowid").c_str());
  while (s.step() == SQLITE_ROW) out.push_back(entryOf(s));
  return out;
}

}  // namespace harbek::store
