// The file side of the profile functions: the whole file is read, edited in
// memory and written back through a temporary file renamed over it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/profile/profile.h"
#include "platform/text/text.h"

namespace harbek::profile {
namespace {

namespace fs = std::filesystem;

enum class ReadOutcome { Read, Missing, Failed };

ReadOutcome readAll(const fs::path& file, Bytes& out) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadOutcome::Missing : ReadOutcome::Failed;
  out.clear();
  char buf[65536];
  ReadOutcome outcome = ReadOutcome::Read;
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) outcome = ReadOutcome::Failed;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return outcome;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// A fresh file beside target, opened for writing; -1 when none can be made.
int createBeside(const fs::path& target, mode_t mode, fs::path& made) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    made = target;
    made.replace_filename("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
                          std::to_string(counter.fetch_add(1)));
    int fd = ::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The content written to a temporary file, which then replaces target. The
// new file keeps the old one's permissions and owner.
ProfileError replaceFile(const fs::path& target, std::string_view content, const struct stat* old) {
  fs::path temp;
  int fd = createBeside(target, old ? (old->st_mode & 07777) : 0666, temp);
  if (fd < 0) return ProfileError::CannotWrite;
  bool ok = writeAll(fd, content);
  if (ok && old) {
    ok = ::fchmod(fd, old->st_mode & 07777) == 0;
    // Only a privileged process may give a file away; when that fails the
    // new file simply stays ours.
    [[maybe_unused]] int owned = ::fchown(fd, old->st_uid, old->st_gid);
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return ProfileError::CannotWrite;
  }
  return ProfileError::None;
}

}  // namespace

Bytes getProfileString(const fs::path& file, std::string_view section, std::string_view key,
                       std::string_view defaultValue, size_t bufferSize) {
  if (bufferSize == 0) return {};
  Bytes content;
  std::string_view value = defaultValue;
  std::optional<std::string_view> found;
  if (readAll(file, content) == ReadOutcome::Read && (found = findValue(content, section, key))) value = *found;

  // The last byte of the buffer is its terminating zero.
  const size_t room = bufferSize - 1;
  size_t fits = 0;
  while (fits < value.size()) {
    size_t width = text::isLeadByte(static_cast<unsigned char>(value[fits])) && fits + 1 < value.size() ? 2 : 1;
    if (fits + width > room) break;
    fits += width;
  }
  return Bytes(value.substr(0, fits));
}

ProfileError writeProfileString(const fs::path& file, std::string_view section, std::string_view key,
                                std::string_view value) {
  if (file.filename().empty()) return ProfileError::CannotWrite;
  // A link is followed, so the file it names is the one rewritten.
  std::error_code ec;
  fs::path target = file;
  if (fs::is_symlink(fs::symlink_status(file, ec))) {
    target = fs::canonical(file, ec);
    if (ec) return ProfileError::CannotWrite;  // a dangling link
  }

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  Bytes content;
  if (exists) {
    if (!S_ISREG(old.st_mode)) return ProfileError::CannotWrite;
    // The write bits are checked as well as access(): a privileged process
    // may write anything, yet a file marked read-only stays unchanged.
    if ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) return ProfileError::ReadOnly;
    if (readAll(target, content) != ReadOutcome::Read) return ProfileError::CannotRead;
  }
  Bytes updated;
  if (ProfileError e = setValue(content, section, key, value, updated); e != ProfileError::None) return e;
  return replaceFile(target, updated, exists ? &old : nullptr);
}

}  // namespace harbek::profile
