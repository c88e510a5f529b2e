#include "store/queue_journal.h"

#include <deque>

#include "libs/spill/spill_record.h"
#include "platform/text/text.h"
#include "store/local_name.h"

namespace harbek::store {
namespace {

using namespace std::chrono_literals;

// Record kinds: the first character of each record's text.
constexpr char16_t kCounters = u'#';  // "#Rnum,Wnum": starts a snapshot
constexpr char16_t kItem = u'=';      // an item of the snapshot's queue
constexpr char16_t kAppended = u'+';
constexpr char16_t kHeadRemoved = u'-';
constexpr char16_t kFetching = u'F';  // "F" alone: the step has ended
constexpr char16_t kSavingTo = u'P';

std::optional<int32_t> number(std::u16string_view s) {
  if (s.empty() || s.size() > 11) return std::nullopt;
  const bool negative = s.front() == u'-';
  if (negative) s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  int64_t n = 0;
  for (char16_t c : s) {
    if (c < u'0' || c > u'9') return std::nullopt;
    n = n * 10 + (c - u'0');
  }
  n = negative ? -n : n;
  if (n < INT32_MIN || n > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(n);
}

}  // namespace

void QueueJournal::open(std::string spillFolder) {
  (void)file_.close();
  path_ = std::move(spillFolder) + "/queue.journal";
  pending_.clear();
  dirty_ = false;
  behind_ = true;  // until the first snapshot
}

std::optional<QueueJournal::State> QueueJournal::replay() const {
  fs::Bytes data;
  if (path_.empty() || fs::readFile(path_, data) != fs::Error::kOk) return std::nullopt;
  size_t pos = 0;
  std::u16string record;
  // The journal starts with its snapshot's counters, or it is not one.
  if (spill::readRecord(data, pos, record) != spill::ReadStatus::kOk || record.empty() || record[0] != kCounters) {
    return std::nullopt;
  }
  const std::u16string_view counters = std::u16string_view(record).substr(1);
  const size_t comma = counters.find(u',');
  const auto Rnum = number(counters.substr(0, comma));
  const auto Wnum = comma == counters.npos ? std::nullopt : number(counters.substr(comma + 1));
  if (!Rnum || !Wnum) return std::nullopt;
  State state;
  state.Rnum = *Rnum;
  state.Wnum = *Wnum;
  std::deque<std::u16string> queue;
  // A record cut short by a kill ends the replay: everything before it holds.
  while (spill::readRecord(data, pos, record) == spill::ReadStatus::kOk && !record.empty()) {
    switch (record[0]) {
      case kItem:
      case kAppended:
        queue.push_back(record.substr(1));
        break;
      case kHeadRemoved:
        if (!queue.empty()) queue.pop_front();
        break;
      case kFetching:
        state.inFlightUrl = record.substr(1);
        state.inFlightFile.clear();
        break;
      case kSavingTo:
        state.inFlightFile = record.substr(1);
        break;
      default:
        break;
    }
  }
  state.queue.assign(std::make_move_iterator(queue.begin()), std::make_move_iterator(queue.end()));
  return state;
}

fs::Error QueueJournal::snapshot(const UrlList& queue, int32_t Rnum, int32_t Wnum) {
  pending_.clear();
  recordBytes_ = 0;
  add(kCounters, text::widen(std::to_string(Rnum) + "," + std::to_string(Wnum)));
  for (size_t i = 0; i < queue.count(); ++i) add(kItem, queue.itemAt(i));
  addInFlight();
  snapshotBytes_ = pending_.size();
  recordBytes_ = 0;
  // The records that follow go to the new file, not to the one it replaces.
  (void)file_.close();
  const fs::Error e = fs::replaceFile(path_, pending_);
  pending_.clear();
  // Without a snapshot in place, records would have nothing to build on.
  behind_ = e != fs::Error::kOk;
  if (!behind_) {
    dirty_ = false;
    lastSync_ = std::chrono::steady_clock::now();
  }
  return e;
}

void QueueJournal::appended(const std::u16string& item) { add(kAppended, item); }

void QueueJournal::headRemoved() { add(kHeadRemoved, {}); }

void QueueJournal::fetching(const std::u16string& url) {
  inFlightUrl_ = url;
  inFlightFile_.clear();
  addInFlight();
}

fs::Error QueueJournal::savingTo(const std::u16string& file) {
  inFlightFile_ = file;
  add(kSavingTo, file);
  // Written at once, so a killed run's journal names the partial file it
  // leaves behind; not synced: after a power cut the restart looks through
  // the copy's folders for partial files (SiteData::removePartialFiles).
  return write(false);
}

void QueueJournal::settled() {
  inFlightUrl_.clear();
  inFlightFile_.clear();
  add(kFetching, {});
}

void QueueJournal::addInFlight() {
  if (inFlightUrl_.empty()) return;
  add(kFetching, inFlightUrl_);
  if (!inFlightFile_.empty()) add(kSavingTo, inFlightFile_);
}

void QueueJournal::add(char16_t kind, const std::u16string& item) {
  // An item too long for a record could not be spilled either; it is left out.
  if (std::optional<fs::Bytes> r = spill::encodeRecord(std::u16string(1, kind) + codePageSafe(item))) {
    pending_ += *r;
    recordBytes_ += r->size();
  }
}

fs::Error QueueJournal::write(bool sync) {
  if (path_.empty()) return fs::Error::kInvalidPath;
  if (behind_) {
    pending_.clear();
    return fs::Error::kIo;
  }
  if (!pending_.empty()) {
    // Records that could not be written are not held back: the journal is
    // behind until the next snapshot, which is due at once.
    fs::Error e = file_.isOpen() ? fs::Error::kOk : file_.open(path_);
    if (e == fs::Error::kOk) e = file_.append(pending_);
    pending_.clear();
    if (e != fs::Error::kOk) {
      (void)file_.close();
      behind_ = true;
      return e;
    }
    dirty_ = true;
  }
  const auto now = std::chrono::steady_clock::now();
  if (dirty_ && (sync || now - lastSync_ >= 1s)) {
    if (const fs::Error e = file_.sync(); e != fs::Error::kOk) return e;
    dirty_ = false;
    lastSync_ = now;
  }
  return fs::Error::kOk;
}

void QueueJournal::remove() {
  pending_.clear();
  (void)file_.close();
  if (!path_.empty()) (void)fs::removeFile(path_);  // a journal left behind is replayed: nothing lost
}

}  // namespace harbek::store
