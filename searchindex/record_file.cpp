#include "searchindex/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

#include "libs/spill/spill_record.h"
#include "platform/fs/fs.h"

namespace harbek::quenby {
namespace {

// Most records are a URL or a short text: the first read takes this much and
// only a longer record needs a second one.
constexpr size_t kFirstRead = 4096;

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // The size of a plain file; -1 for anything else or a failure.
  int64_t size() const {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
  }

  // Up to n bytes at offset; fewer only at the end of the file or on an error.
  std::string readAt(int64_t offset, size_t n) const {
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n) {
      ssize_t r = ::pread(fd_, out.data() + got, n - got, static_cast<off_t>(offset + static_cast<int64_t>(got)));
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    out.resize(got);
    return out;
  }

 private:
  int fd_;
};

}  // namespace

bool appendRecords(const std::string& path, const std::vector<std::u16string>& texts) {
  std::string records;
  for (const auto& t : texts) {
    std::optional<std::string> record = spill::encodeRecord(t);
    if (!record) return false;
    records += *record;
  }
  return fs::appendFile(path, records) == fs::Error::kOk;
}

RecordRead readRecordAt(const std::string& path, int32_t& pos, std::u16string& text) {
  ReadOnlyFile file(path);
  const int64_t size = file.size();
  if (size < 0 || pos < 0 || pos >= size) return RecordRead::kNothing;
  const size_t left = static_cast<size_t>(size - pos);
  const size_t whole = std::min(left, spill::kLengthFieldSize + spill::kMaxRecordData);

  std::string bytes = file.readAt(pos, std::min(whole, kFirstRead));
  if (bytes.size() >= spill::kLengthFieldSize &&
      bytes.find_first_not_of(' ') >= spill::kLengthFieldSize) {
    return RecordRead::kBlank;
  }
  size_t at = 0;
  std::u16string item;
  spill::ReadStatus status = spill::readRecord(bytes, at, item);
  if (status == spill::ReadStatus::kCorrupt && bytes.size() < whole) {
    // A long record, or a damaged one: either way the read stays within
    // what the file holds.
    bytes = file.readAt(pos, whole);
    status = spill::readRecord(bytes, at, item);
  }
  // A record past the 32-bit position could not be read after it anyway.
  if (status != spill::ReadStatus::kOk ||
      at > static_cast<size_t>(std::numeric_limits<int32_t>::max() - pos)) {
    return RecordRead::kNothing;
  }
  pos += static_cast<int32_t>(at);
  text = std::move(item);
  return RecordRead::kOk;
}

}  // namespace harbek::quenby
