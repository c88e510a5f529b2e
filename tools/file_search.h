// The file search that fills the find-and-replace window's file list.
//
// search lists every file under a folder: the files of a folder first, in
// name order, then its subfolders one by one, depth first. What counts as a
// file is a plain file, hidden ones included, or a symbolic link to one;
// sockets, FIFOs and devices are not listed, and a symbolic link to a folder
// is not entered, so a link that loops cannot keep the search going. The
// program's own files in a save folder (spill files, the queue journal,
// bodies still being fetched) are never listed: a rule must not change them.
#pragma once

#include <string>

#include "platform/fs/fs.h"

namespace harbek::tools {

// What the search reports to; the window shows it in List1, Label5 and Label6.
class SearchView {
 public:
  virtual ~SearchView() = default;
  // Handles pending user-interface events; called once per folder entry.
  virtual void pumpEvents() = 0;
  // A file to list (folder path + "/" + name).
  virtual void fileFound(const std::string& path) = 0;
  // The search goes into this folder now.
  virtual void enteringFolder(const std::string& path) = 0;
  // This folder's entries could not be listed; the search goes on without them.
  virtual void folderUnreadable(const std::string& path, fs::Error error) = 0;
  // Asked after each pump: true ends the search there (the user cancelled,
  // or the window closes).
  virtual bool stopRequested() const { return false; }
};

// Lists the files under root whose extension (the store's GetExtName,
// ignoring case) is that of pattern; every file when pattern is empty.
// Returns false when some folder could not be listed (each one was reported)
// or the view stopped the search, true when every file was seen.
bool search(const std::string& root, const std::u16string& pattern, SearchView& view);

}  // namespace harbek::tools
