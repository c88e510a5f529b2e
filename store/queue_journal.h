// The queue journal: what keeps the crawl queue when the program is killed.
//
// The queue lives in memory and reaches the spill files only when it grows
// long or the program closes cleanly. The journal, a file in the spill
// folder, records the rest as it happens: a snapshot (the spill counters and
// every queued item), then one record per item appended and per head
// removed. Records are written at the end of every crawl step and flushed to
// the disk at most once a second; a kill loses nothing that was written, a
// power cut at most the last second. A clean close removes the journal, so a
// start that finds one knows the last run was cut short and replays it.
//
// Each snapshot is written to a temporary file and renamed over the journal,
// so the journal is always one snapshot and the records after it; a record
// cut short by a kill ends the replay there. Snapshots are taken after every
// spill and refill (the spill files then hold what left the queue) and
// whenever the records outgrow the snapshot.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/fs/fs.h"
#include "store/url_list.h"

namespace harbek::store {

class QueueJournal {
 public:
  struct State {
    int32_t Rnum = 0;
    int32_t Wnum = 0;
    std::vector<std::u16string> queue;
    // The URL whose step was cut short (empty when none), and the file its
    // body went to, relative to the save folder (empty when none yet): that
    // page is fetched and scanned again.
    std::u16string inFlightUrl;
    std::u16string inFlightFile;
  };

  // The journal of the spill folder; nothing is read or written yet.
  void open(std::string spillFolder);
  const std::string& path() const { return path_; }

  // The state a journal left behind, when there is one.
  std::optional<State> replay() const;

  // Replaces the journal with one snapshot of the queue and the counters.
  fs::Error snapshot(const UrlList& queue, int32_t Rnum, int32_t Wnum);
  void appended(const std::u16string& item);
  void headRemoved();
  // A step starts on url, its body goes to file, the step has ended. The file
  // is written to the journal before the step goes on, and the start with
  // it, so a killed run names its partial file; they reach the disk with the
  // next flush (after a power cut the restart looks for partial files
  // itself). A step cut short before that changed nothing on the disk, and
  // its URL is still queued.
  void fetching(const std::u16string& url);
  fs::Error savingTo(const std::u16string& file);
  void settled();

  // Writes the records held back; flushes them to the disk when the last
  // flush is a second old or sync is true. A snapshot is due when the
  // records have outgrown it.
  fs::Error write(bool sync = false);
  bool snapshotDue() const { return behind_ || recordBytes_ > 4 * snapshotBytes_ + 65536; }

  // The clean end: the spill files and the settings hold the queue.
  void remove();

 private:
  void add(char16_t kind, const std::u16string& item);
  void addInFlight();

  std::u16string inFlightUrl_;
  std::u16string inFlightFile_;
  std::string path_;
  // Kept open between steps: records are appended several times a step.
  fs::AppendFile file_;
  std::string pending_;
  size_t snapshotBytes_ = 0;
  size_t recordBytes_ = 0;
  bool dirty_ = false;   // written since the last flush to the disk
  bool behind_ = true;   // records were lost: only a snapshot can follow
  std::chrono::steady_clock::time_point lastSync_{};
};

}  // namespace harbek::store
