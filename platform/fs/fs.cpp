#include "platform/fs/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <utility>

namespace harbek::fs {
namespace {

bool validPath(const std::string& path) { return !path.empty() && path.find('\0') == std::string::npos; }

Error fromErrno(int err) {
  switch (err) {
    case ENOENT: return Error::kNotFound;
    case ENOTDIR: return Error::kNotFolder;
    case EISDIR: return Error::kIsFolder;
    case EEXIST: return Error::kExists;
    case EACCES:
    case EPERM: return Error::kDenied;
    case EROFS: return Error::kReadOnly;
    case EIO: return Error::kDeviceIo;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return Error::kNoSpace;  // past the file size the system allows
    case ENAMETOOLONG: return Error::kNameTooLong;
    case ENXIO:  // a FIFO without a reader, a device without its driver
    case ENODEV: return Error::kNotFile;
    default: return Error::kIo;
  }
}

bool statOf(const std::string& path, struct stat& st) { return validPath(path) && ::stat(path.c_str(), &st) == 0; }

// Opens a plain file. O_NONBLOCK keeps the open itself from waiting on a FIFO;
// the type check then refuses anything that is not a plain file.
Error openPlain(const std::string& path, int flags, int& fd) {
  if (!validPath(path)) return Error::kInvalidPath;
  fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return fromErrno(errno);
  struct stat st;
  Error e = Error::kOk;
  if (::fstat(fd, &st) != 0) {
    e = fromErrno(errno);
  } else if (S_ISDIR(st.st_mode)) {
    e = Error::kIsFolder;
  } else if (!S_ISREG(st.st_mode)) {
    e = Error::kNotFile;
  }
  if (e != Error::kOk) {
    ::close(fd);
    fd = -1;
    return e;
  }
  // O_NONBLOCK may stay: it has no effect on a plain file's reads and writes.
  return Error::kOk;
}

// Writes all bytes; on a short or failed write, cuts the file back to where
// the bytes began. The offset after a write (also with O_APPEND) is the end of
// what it wrote, so that place is found only when a write falls short.
Error writeAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Error e = n < 0 ? fromErrno(errno) : Error::kNoSpace;
      const off_t end = done > 0 ? ::lseek(fd, 0, SEEK_CUR) : -1;
      if (end >= static_cast<off_t>(done)) {
        int rc = ::ftruncate(fd, end - static_cast<off_t>(done));
        (void)rc;  // nothing more can be done for the file if this fails too
      }
      return e;
    }
    done += static_cast<size_t>(n);
  }
  return Error::kOk;
}

Error syncFd(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return fromErrno(errno);
  }
  return Error::kOk;
}

Error closeFd(int fd) {
  // Linux releases the descriptor even when close reports EINTR: never retry.
  if (::close(fd) != 0 && errno != EINTR) return fromErrno(errno);
  return Error::kOk;
}

}  // namespace

std::string_view errorName(Error e) {
  switch (e) {
    case Error::kOk: return "ok";
    case Error::kNotFound: return "not found";
    case Error::kNotFolder: return "not a folder";
    case Error::kIsFolder: return "is a folder";
    case Error::kNotFile: return "not a plain file";
    case Error::kExists: return "already exists";
    case Error::kDenied: return "permission denied";
    case Error::kReadOnly: return "read-only file system";
    case Error::kNoSpace: return "disk full";
    case Error::kNameTooLong: return "name too long";
    case Error::kInvalidPath: return "invalid path";
    case Error::kDeviceIo: return "input/output error";
    case Error::kIo: return "system error";
  }
  return "unknown error";
}

bool isFile(const std::string& path) {
  struct stat st;
  return statOf(path, st) && S_ISREG(st.st_mode);
}

bool isFolder(const std::string& path) {
  struct stat st;
  return statOf(path, st) && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path) {
  struct stat st;
  return validPath(path) && ::lstat(path.c_str(), &st) == 0;
}

bool missing(const std::string& path) {
  struct stat st;
  return validPath(path) && ::lstat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool isLink(const std::string& path) {
  struct stat st;
  return validPath(path) && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool isReadOnly(const std::string& path) {
  struct stat st;
  return statOf(path, st) && ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0);
}

Error createFolder(const std::string& path) {
  if (!validPath(path)) return Error::kInvalidPath;
  if (::mkdir(path.c_str(), 0777) != 0) return fromErrno(errno);
  return Error::kOk;
}

Error createFolders(const std::string& path) {
  if (!validPath(path)) return Error::kInvalidPath;
  if (isFolder(path)) return Error::kOk;
  // The parent is the path up to the last slash before the last name.
  const size_t nameEnd = path.find_last_not_of('/');
  const size_t slash = nameEnd == std::string::npos ? std::string::npos : path.rfind('/', nameEnd);
  if (slash != std::string::npos && slash > 0) {
    if (Error e = createFolders(path.substr(0, slash)); e != Error::kOk) return e;
  }
  if (::mkdir(path.c_str(), 0777) == 0) return Error::kOk;
  // Something that is not a folder holds the name.
  if (errno == EEXIST) return isFolder(path) ? Error::kOk : Error::kNotFolder;
  return fromErrno(errno);
}

Error appendFile(const std::string& path, std::string_view bytes, bool sync) {
  AppendFile f;
  Error e = f.open(path);
  if (e == Error::kOk) e = f.append(bytes);
  if (e == Error::kOk && sync) e = f.sync();
  Error closed = f.close();
  return e != Error::kOk ? e : closed;
}

Error readFile(const std::string& path, Bytes& out) {
  out.clear();
  int fd = -1;
  Error e = openPlain(path, O_RDONLY, fd);
  if (e != Error::kOk) return e;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    e = fromErrno(errno);
    ::close(fd);
    return e;
  }
  const size_t size = static_cast<size_t>(st.st_size);
  Bytes data(size, '\0');
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, data.data() + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      e = fromErrno(errno);
      break;
    }
    if (n == 0) break;  // the file shrank while it was read
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  if (e != Error::kOk) return e;
  data.resize(done);
  out = std::move(data);
  return Error::kOk;
}

Error removeFile(const std::string& path) {
  if (!validPath(path)) return Error::kInvalidPath;
  if (::unlink(path.c_str()) != 0) return fromErrno(errno);
  return Error::kOk;
}

Error removeFolder(const std::string& path) {
  if (!validPath(path)) return Error::kInvalidPath;
  if (::rmdir(path.c_str()) != 0) return fromErrno(errno);
  return Error::kOk;
}

Error renameFile(const std::string& from, const std::string& to) {
  if (!validPath(from) || !validPath(to)) return Error::kInvalidPath;
  if (::rename(from.c_str(), to.c_str()) != 0) return fromErrno(errno);
  return Error::kOk;
}

Error listFolder(const std::string& path, std::vector<Entry>& out) {
  out.clear();
  if (!validPath(path)) return Error::kInvalidPath;
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return fromErrno(errno);
  std::string base = path.back() == '/' ? path : path + "/";
  while (dirent* d = ::readdir(dir)) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    bool folder = d->d_type == DT_DIR;
    if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) folder = isFolder(base + name);
    out.push_back({std::move(name), folder, d->d_type == DT_LNK});
  }
  ::closedir(dir);
  std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return Error::kOk;
}

std::string programFolder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return {};
  std::string exe(buf, static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

Error readable(const std::string& path) {
  int fd = -1;
  Error e = openPlain(path, O_RDONLY, fd);
  if (e == Error::kOk) ::close(fd);
  return e;
}

Error syncFile(const std::string& path) {
  int fd = -1;
  Error e = openPlain(path, O_RDONLY, fd);
  if (e != Error::kOk) return e;
  e = syncFd(fd);
  Error closed = closeFd(fd);
  return e != Error::kOk ? e : closed;
}

namespace {

// A fresh file beside target, opened for writing; -1 (with errno) when none
// can be made. The leading "." keeps it out of the way while it exists.
int createBeside(const std::string& target, mode_t mode, std::string& made) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    made = folder + "." + name + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    int fd = ::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

Error replaceFile(const std::string& path, std::string_view bytes) {
  if (!validPath(path) || path.back() == '/') return Error::kInvalidPath;
  struct stat old {};
  const bool existed = ::stat(path.c_str(), &old) == 0;
  if (existed && S_ISDIR(old.st_mode)) return Error::kIsFolder;
  if (existed && !S_ISREG(old.st_mode)) return Error::kNotFile;

  std::string temp;
  int fd = createBeside(path, existed ? (old.st_mode & 07777) : 0666, temp);
  if (fd < 0) return errno == EEXIST ? Error::kIo : fromErrno(errno);
  Error e = writeAll(fd, bytes);
  if (e == Error::kOk && existed) {
    if (::fchmod(fd, old.st_mode & 07777) != 0) e = fromErrno(errno);
    // Only a privileged process may give a file away; when that fails the
    // new file simply stays ours.
    [[maybe_unused]] int owned = ::fchown(fd, old.st_uid, old.st_gid);
  }
  if (e == Error::kOk) e = syncFd(fd);
  Error closed = closeFd(fd);
  if (e == Error::kOk) e = closed;
  if (e == Error::kOk && ::rename(temp.c_str(), path.c_str()) != 0) e = fromErrno(errno);
  if (e != Error::kOk) {
    ::unlink(temp.c_str());
    return e;
  }
  // The rename lives in the folder: until the folder reaches the disk, a
  // power cut may bring back the old file, or none.
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return fromErrno(errno);
  e = syncFd(dir);
  (void)closeFd(dir);  // read only: nothing can be lost by its close
  return e;
}

AppendFile::~AppendFile() { (void)close(); }

Error AppendFile::open(const std::string& path) {
  (void)close();  // a file left behind is not the new one's concern
  return openPlain(path, O_WRONLY | O_CREAT | O_APPEND, fd_);
}

Error AppendFile::create(const std::string& path) {
  (void)close();  // a file left behind is not the new one's concern
  if (!validPath(path)) return Error::kInvalidPath;
  // O_EXCL never follows a link at the name and makes a plain file, so the
  // new file needs no type check; whatever held the name is removed first.
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC;
  fd_ = ::open(path.c_str(), kFlags, 0666);
  if (fd_ < 0 && errno == EEXIST && ::unlink(path.c_str()) == 0) fd_ = ::open(path.c_str(), kFlags, 0666);
  return fd_ < 0 ? fromErrno(errno) : Error::kOk;
}

Error AppendFile::append(std::string_view bytes) {
  if (fd_ < 0) return Error::kIo;
  return writeAll(fd_, bytes);
}

Error AppendFile::sync() {
  if (fd_ < 0) return Error::kIo;
  return syncFd(fd_);
}

Error AppendFile::close() {
  if (fd_ < 0) return Error::kOk;
  return closeFd(std::exchange(fd_, -1));
}

}  // namespace harbek::fs
