// SiteData: the site store of the crawler.
//
// One object turns URLs into local paths under the save folder, appends
// fetched bodies to the files they map to, answers whether a URL is saved,
// and spills the crawl queue to numbered files and brings it back.
//
// Layout on disk (S is SavePath, h the host in lower case):
//   S/h/dir1/.../name        a page or file of the site
//   S/h/.../index.html       a bare host, or a path that ends in "/"
//   S/h/<32 hex digits>      the digest-named form of a file
//   S/tmp/<n>.dat            spilled queue files
// On Linux the separator is "/", and a backslash in a URL is an ordinary
// character of a name.
//
// Nothing is ever created or written outside the save folder, whatever a URL
// holds: a path with a ".." segment, an empty host (an absolute path) or a
// host of "." or ".." writes nothing, and isExsitUrl calls such a URL saved
// so that the crawler never fetches it.
//
// Every operation but the property accessors and GetExtName first applies
// the save-folder default: an empty SavePath becomes the folder of the
// running program. nohttp and gethost come from a vornet WebUrl object,
// created through the component runtime on first use and kept.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "libs/url/web_url_interface.h"
#include "platform/component/unknown.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "store/url_list.h"

namespace harbek::store {

using text::Bytes;

// True when a path relative to the save folder names something below it: at
// least one segment is a real name, no segment climbs with "..", and no NUL
// could cut it short. Empty and "." segments are harmless ("/x" is S//x).
bool staysInside(std::u16string_view rel);

// True for a file the program keeps in a save folder for itself: a body
// still being fetched ("*.harbek-part"), and the spill files, the queue
// journal and their temporary files in the spill folder "tmp", and the state
// store in ".harbek". The tools that change saved files never list or change
// them.
bool isProgramFile(std::string_view path);

class SiteData {
 public:
  // Spilling moves queue items until fewer than this many remain.
  static constexpr size_t kSpillFloor = 5000;

  SiteData() = default;

  const std::u16string& SavePath() const { return SavePath_; }
  void setSavePath(std::u16string value) { SavePath_ = std::move(value); }
  int32_t MaxSize() const { return MaxSize_; }
  void setMaxSize(int32_t value) { MaxSize_ = value; }
  int16_t NoGetData() const { return NoGetData_; }
  void setNoGetData(int16_t value) { NoGetData_ = value; }

  // Called once per record while a spill runs, so the program's other events
  // (which may append to the queue) keep being handled. The crawler wires it
  // to one pump of its event loop.
  void setPump(std::function<void()> pump) { pump_ = std::move(pump); }

  // SavePath + "/" + nohttp(address). Failures of the URL operations come back
  // as their codes.
  [[nodiscard]] com::HResult ChUrltoPath(const std::u16string& address, std::u16string* result);
  // SavePath + "/" + host + "/" + MD5 of nohttp(address) with every host text removed.
  [[nodiscard]] com::HResult ChUrltoMd5path(const std::u16string& address, std::u16string* result);
  // True when the file of the URL exists (a folder does not count), and
  // whenever that cannot be told or the URL points outside the save folder.
  bool isExsitUrl(const std::u16string& address, bool ISmd5);
  // For an owner that is the only writer of the copy while it runs (the
  // crawl): isExsitUrl remembers the paths it found missing (by hash, up to
  // kMissingLimit of them) until this object puts a file there. A crawl asks
  // about the same links page after page, nearly always for files not saved
  // yet. Off by default: other callers may add files between two calls.
  void rememberMissing(bool on) {
    rememberMissing_ = on;
    missing_.clear();
  }
  // Appends data to the file that the address (host and path, no scheme)
  // maps to, creating the folders on the way. Failures end the call silently.
  void saveFileByUrl(const std::u16string& address, const Bytes& data, int32_t ISenCode);
  // A body being fetched goes to a temporary file beside the one that
  // saveFileByUrl(address, ...) writes (first: a new body, anything left there
  // before is dropped), and becomes that file only once the fetch is whole,
  // so the saved file is always whole, whatever stops the program.
  fs::Error savePartial(const std::u16string& address, const Bytes& data, bool first);
  fs::Error commitPartial(const std::u16string& address);
  void discardPartial(const std::u16string& address);
  // The name to save a file of the crawl under (host and path, see
  // local_name.h), with room made for it: a file that stands where one of
  // its folders must go moves into that folder as its index.html, and a
  // name that a folder has already becomes that folder's index.html. The
  // names of the files moved are added to moved.
  std::u16string makeRoomFor(std::u16string name, std::vector<std::u16string>* moved = nullptr);
  // Removes the saved file of the address: a page whose step was cut short
  // is fetched and scanned again.
  void removeFileByUrl(const std::u16string& address);
  // False for a name that would leave the save folder or land in the spill
  // folder.
  bool savable(const std::u16string& name) const;
  // The text after the last ".", or the whole name when it has none.
  static std::u16string GetExtName(const std::u16string& fileName);
  // Applies the save-folder default and nothing else.
  void ClearTmp();

  // Moves items from the end of the queue into spill file wfnum until fewer
  // than kSpillFloor remain, then advances wfnum. The file appears whole or
  // not at all; when it cannot be written the items stay queued and false
  // comes back.
  [[nodiscard]] bool SaveList(UrlList& list, int32_t& wfnum);
  // Moves every item of the queue into spill file wfnum, then advances wfnum.
  [[nodiscard]] bool SaveAllList(UrlList& list, int32_t& wfnum);
  // Appends the items of spill file rfnum to the queue and advances rfnum;
  // does nothing when the file is missing.
  void LoadList(UrlList& list, int32_t& rfnum);
  // One past the highest spill file number in the spill folder (0 when it
  // has none), so files that the counters do not cover are still read.
  int32_t nextSpillNumber();
  // The spill folder, which holds the program's own files only.
  std::string spillFolder() const;
  // The spill folder's marker file: the folder is the program's own only
  // when it holds it. The program writes the marker when it makes the folder.
  static constexpr const char* kSpillMarker = ".harbek-spill";
  // Makes the spill folder ready for use: a missing one is made, with its
  // marker; a marked one is used as it is; an unmarked one is taken (and
  // marked) only when it is empty or holds an older copy's queue: a queue
  // journal, or spill files numbered below wnum. Anything else means the
  // folder is someone else's: false, and nothing there is read, changed or
  // removed.
  bool claimSpillFolder(int32_t wnum);
  // Spill file number's name in the spill folder.
  std::string spillFileName(int32_t number) const;
  // Removes what a killed run left half written in the spill folder (the
  // temporary files of spills and journal snapshots).
  void removeSpillLeftovers();
  // Removes the partial files (NAME.harbek-part) under the save folder's
  // folders of the given sites (host, with its port): after an unclean end
  // no fetch is writing any, and a power cut can take the journal's record
  // of the last one with it. Symbolic links are not followed. Returns how
  // many went.
  size_t removePartialFiles(const std::vector<std::u16string>& sites);
  // Removes the spill files, the rest of the program's files there and the
  // folder itself; false when something stays (a file of someone else's).
  [[nodiscard]] bool removeSpillFolder();
  // Removes the spill files only (every one has been read); false when one
  // stays.
  [[nodiscard]] bool removeSpillFiles();

 private:
  bool applySaveFolderDefault();
  bool ownsSpillFolder() const;
  com::HResult webUrl(url::IWebUrl** out);
  // The part of a local path after SavePath + "/".
  com::HResult relativePath(const std::u16string& address, std::u16string* result);
  com::HResult relativeMd5Path(const std::u16string& address, std::u16string* result);
  std::u16string savedFile(const std::u16string& name) const;
  fs::Error createFolders(const std::u16string& name);
  bool spill(UrlList& list, int32_t& wfnum, size_t floor);
  fs::Error closePartial(const std::string& partial);
  // Whether a file is at path (see rememberMissing).
  bool fileThere(const std::string& path);
  void madeFile(const std::string& path) { missing_.erase(std::hash<std::string>()(path)); }
  static constexpr size_t kMissingLimit = size_t{1} << 16;

  std::u16string SavePath_;
  int32_t MaxSize_ = 0;
  int16_t NoGetData_ = 0;
  std::function<void()> pump_;
  // The body file of the running fetch, open while it is written.
  fs::AppendFile partial_;
  std::string partialPath_;
  com::ComPtr<url::IWebUrl> webUrl_;
  bool rememberMissing_ = false;
  std::unordered_set<size_t> missing_;
};

}  // namespace harbek::store
