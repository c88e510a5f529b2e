// The small file layer of the program: queries, folder creation, whole-file
// reads, binary appends, folder listings and the program's own folder.
//
// Paths are bytes (UTF-8 on Linux) with "/" as separator; a path that holds a
// NUL byte is refused rather than silently cut short. Every operation opens,
// uses and closes what it needs; only AppendFile keeps a file open, for a
// writer that appends many records to one file. Nothing here throws: failures
// come back as an Error. Opens never follow into a FIFO or device, so a stray
// special file cannot make a caller block.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/text/text.h"

namespace harbek::fs {

using text::Bytes;

enum class [[nodiscard]] Error {
  kOk,
  kNotFound,      // the path, or a folder on the way, does not exist
  kNotFolder,     // a part of the path that must be a folder is something else
  kIsFolder,      // a file was expected and a folder found
  kNotFile,       // neither a plain file nor a folder (FIFO, device, socket)
  kExists,        // something of that name is already there
  kDenied,        // permission denied
  kReadOnly,      // a read-only file system
  kNoSpace,       // disk or quota full
  kNameTooLong,
  kInvalidPath,   // empty or holding a NUL byte
  kDeviceIo,      // the device failed to read or write
  kIo,            // any other failure of the system
};

// A readable name for an error ("not found", ...).
std::string_view errorName(Error e);


// True when path names a plain file (following symbolic links).
bool isFile(const std::string& path);
// True when path names a folder (following symbolic links).
bool isFolder(const std::string& path);
// True when anything at all has that name.
bool exists(const std::string& path);
// True only when nothing has that name: a lookup that fails for another
// reason (a folder that may not be searched) does not say it is missing.
bool missing(const std::string& path);
// True when path is itself a symbolic link (whatever it points to).
bool isLink(const std::string& path);
// True when an existing file must not be rewritten: it carries no write bit
// at all, or this process may not write it. The write bits count even for a
// privileged process, which could write anything.
bool isReadOnly(const std::string& path);

// Creates one folder; its parent must exist.
Error createFolder(const std::string& path);
// Creates a folder and every missing folder on the way to it; a folder that
// is there already is no error.
Error createFolders(const std::string& path);

// Appends bytes to a plain file, creating it when missing. With sync, the
// file is flushed to the disk before the call returns.
Error appendFile(const std::string& path, std::string_view bytes, bool sync = false);

// kOk when path is a plain file that can be opened for reading now; else why
// not (kNotFound, kDenied, ...), so a caller can say "cannot read FILE:
// permission denied" rather than take the file for empty or missing.
Error readable(const std::string& path);

// Reads a whole plain file. Never reads (or allocates) more than the size the
// file had when it was opened.
Error readFile(const std::string& path, Bytes& out);

// Removes a file (not a folder).
Error removeFile(const std::string& path);

// Removes an empty folder.
Error removeFolder(const std::string& path);

// Renames a file, replacing whatever file has the new name, in one step.
Error renameFile(const std::string& from, const std::string& to);


struct Entry {
  std::string name;
  bool isFolder = false;  // a folder, or a symbolic link to one
  bool isLink = false;    // a symbolic link
};

// The entries of a folder other than "." and "..", sorted by name.
Error listFolder(const std::string& path, std::vector<Entry>& out);

// The folder of the running program's file, without a trailing "/"; empty
// when the system cannot tell.
std::string programFolder();

// Flushes a written file to the disk.
Error syncFile(const std::string& path);

// Gives a plain file new content, or creates it, so that the path never holds
// neither the old nor the whole new content: the bytes go to a temporary file
// beside it, flushed to the disk, which is then renamed over it, and the
// folder is flushed after the rename, so the new name is on the disk too when
// the call returns. The new file
// keeps the old one's permissions and, where the system allows, its owner. A
// failure leaves the old file as it was and no temporary file behind. path
// names the file itself: a symbolic link there would be replaced, not followed.
Error replaceFile(const std::string& path, std::string_view bytes);

// A plain file opened for appending, for a writer of many records. Each
// append is all or nothing: when the system writes only part of the bytes the
// file is cut back to its length before the call, so a failed record never
// leaves a fragment that would garble the records appended after it.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens path for appending, creating it when missing.
  Error open(const std::string& path);
  // Opens a new, empty file at path, in place of any file or link there.
  Error create(const std::string& path);
  Error append(std::string_view bytes);
  Error sync();
  // Closes the file; an error of the close itself is reported.
  Error close();
  bool isOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace harbek::fs
