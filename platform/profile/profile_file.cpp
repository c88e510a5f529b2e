// The file side of the profile functions: the whole file is read, edited in
// memory and written back through a temporary file renamed over it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fs/fs.h"
#include "platform/profile/profile.h"
#include "platform/text/text.h"

namespace harbek::profile {
namespace {

namespace fs = std::filesystem;

enum class ReadOutcome { kRead, kMissing, kFailed };

ReadOutcome readAll(const fs::path& file, Bytes& out) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadOutcome::kMissing : ReadOutcome::kFailed;
  out.clear();
  char buf[65536];
  ReadOutcome outcome = ReadOutcome::kRead;
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) outcome = ReadOutcome::kFailed;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return outcome;
}

}  // namespace

Bytes getProfileString(const fs::path& file, std::string_view section, std::string_view key,
                       std::string_view defaultValue, size_t bufferSize) {
  if (bufferSize == 0) return {};
  Bytes content;
  std::string_view value = defaultValue;
  std::optional<std::string_view> found;
  if (readAll(file, content) == ReadOutcome::kRead && (found = findValue(content, section, key))) value = *found;

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
  return writeProfileStrings(file, section, {{std::string(key), std::string(value)}});
}

ProfileError writeProfileStrings(const fs::path& file, std::string_view section,
                                 const std::vector<std::pair<std::string, std::string>>& values) {
  if (file.filename().empty()) return ProfileError::kCannotWrite;
  // A link is followed, so the file it names is the one rewritten.
  std::error_code ec;
  fs::path target = file;
  if (fs::is_symlink(fs::symlink_status(file, ec))) {
    target = fs::canonical(file, ec);
    if (ec) return ProfileError::kCannotWrite;  // a dangling link
  }

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  Bytes content;
  if (exists) {
    if (!S_ISREG(old.st_mode)) return ProfileError::kCannotWrite;
    if (harbek::fs::isReadOnly(target.string())) return ProfileError::kReadOnly;
    if (readAll(target, content) != ReadOutcome::kRead) return ProfileError::kCannotRead;
  }
  for (const auto& [key, value] : values) {
    Bytes updated;
    if (ProfileError e = setValue(content, section, key, value, updated); e != ProfileError::kNone) return e;
    content = std::move(updated);
  }
  return harbek::fs::replaceFile(target.string(), content) == harbek::fs::Error::kOk ? ProfileError::kNone
                                                                                  : ProfileError::kCannotWrite;
}

}  // namespace harbek::profile
