// The state of a copy: what the crawl knows of each URL it has fetched or
// given up, kept in SQLite at SAVE/.harbek/state.db (never inside a host's
// folder: a host name cannot start with a dot).
//
// One row per URL: the saved file (host/path under the save folder), the
// status, the validators ETag and Last-Modified, the size, when it was
// fetched, and the reason of its last failure. A URL whose tries all failed
// is kept with its reason and no file, so a later run asks for it again
// before anything else; once it is saved the failure is cleared.
//
// The store is not a queue: the queue stays in the crawler's queue (the
// window's List1), its spill files and its journal. Writes gather in one
// transaction that the crawler commits once a second, at the end of a step,
// and whenever the crawl stops. The database runs in WAL mode with
// synchronous=NORMAL: a kill or a crash loses at most the last second's
// rows, never the file's consistency. A
// copy made before the store existed simply has none: its files count as
// saved, with unknown validators.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace harbek::store {

class StateStore {
 public:
  struct Entry {
    std::string url;
    std::string file;  // host/path under the save folder; empty for a failure
    int status = 0;
    std::string etag;
    std::string lastModified;
    int64_t size = 0;
    int64_t fetched = 0;  // seconds since the epoch
    std::string failure;  // the last failure's reason; empty once saved
    std::string queued;   // a failure: the queue entry to try it again with
  };

  StateStore() = default;
  ~StateStore();
  StateStore(const StateStore&) = delete;
  StateStore& operator=(const StateStore&) = delete;

  // The database of the copy in saveFolder, made when missing (with its
  // folder) unless readOnly. False, with the reason in error(), when it
  // cannot be opened.
  bool open(const std::string& saveFolder, bool readOnly = false);
  void close();
  bool isOpen() const { return db_ != nullptr; }
  const std::string& error() const { return error_; }
  static std::string pathIn(const std::string& saveFolder) { return saveFolder + "/.harbek/state.db"; }

  // A URL saved whole.
  bool saved(const Entry& e);
  // A URL given up after its tries, with the queue entry that asked for it
  // (the crawler's marks kept); a saved file it had stays recorded.
  bool failed(const std::string& url, const std::string& queued, const std::string& reason, int64_t when);
  std::optional<Entry> find(const std::string& url);
  // The URL last saved to file (host/path): another URL of one file
  // ("/" and "/index.html") shares its validators.
  std::optional<Entry> findByFile(const std::string& file);
  // The URLs that failed last time they were tried, in the order they failed.
  std::vector<Entry> failures();
  // Makes the writes since the last commit durable as one step.
  bool commit();

 private:
  bool exec(const char* sql);
  bool begin();

  sqlite3* db_ = nullptr;
  bool inTransaction_ = false;
  std::string error_;
};

}  // namespace harbek::store
