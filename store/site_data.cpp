#include "store/site_data.h"

#include <algorithm>
#include <limits>
#include <vector>
#include <string_view>

#include "libs/spill/spill_record.h"
#include "libs/url/web_url.h"
#include "platform/component/runtime.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "store/local_name.h"
#include "store/md5.h"

namespace harbek::store {
namespace {

std::string fsPath(std::u16string_view path) { return text::toUtf8(path); }

constexpr std::u16string_view kPartialSuffix = u".harbek-part";

// The counter after n; the largest counter stays, as it would overflow.
int32_t next(int32_t n) { return n == std::numeric_limits<int32_t>::max() ? n : n + 1; }

// The number of a spill file's name ("17.dat"), or -1 for any other name.
int64_t spillNumber(std::string_view name) {
  if (!name.ends_with(".dat") || name.size() < 5 || name.size() > 14) return -1;
  const std::string_view digits = name.substr(0, name.size() - 4);
  if (digits.find_first_not_of("0123456789") != std::string_view::npos) return -1;
  if (digits.size() > 1 && digits.front() == '0') return -1;  // not a name the store writes
  const int64_t n = std::stoll(std::string(digits));
  return n < std::numeric_limits<int32_t>::max() ? n : -1;
}

// What a killed run leaves half written: ".NAME.tmpPID-N" beside NAME.
bool isLeftover(std::string_view name) { return name.starts_with(".") && name.find(".tmp") != std::string_view::npos; }

constexpr std::string_view kJournalName = "queue.journal";
constexpr std::string_view kMarkerText =
    "harbek keeps the queue of the copy in this folder. It reads and removes only its own files here\n"
    "(N.dat, queue.journal and this file), and removes the folder when the copy is done.\n";

}  // namespace

bool staysInside(std::u16string_view rel) {
  if (rel.find(u'\0') != std::u16string_view::npos) return false;
  // Empty and "." segments name the folder they stand in, so a doubled
  // separator or an empty host still lands inside; ".." is refused anywhere,
  // since a folder on the way may be a link to somewhere else.
  bool namesSomething = false;
  for (size_t start = 0;;) {
    size_t slash = rel.find(u'/', start);
    std::u16string_view seg = rel.substr(start, slash == std::u16string_view::npos ? slash : slash - start);
    if (seg == u"..") return false;
    if (!seg.empty() && seg != u".") namesSomething = true;
    if (slash == std::u16string_view::npos) return namesSomething;
    start = slash + 1;
  }
}

bool SiteData::applySaveFolderDefault() {
  if (SavePath_.empty()) SavePath_ = text::fromUtf8(fs::programFolder());
  return !SavePath_.empty();
}

com::HResult SiteData::webUrl(url::IWebUrl** out) {
  if (!webUrl_) {
    com::HResult h = com::create<url::IWebUrl>(url::kVornetClsid, webUrl_);
    if (com::failed(h)) return h;
  }
  *out = webUrl_.get();
  return com::kOk;
}

com::HResult SiteData::relativePath(const std::u16string& address, std::u16string* result) {
  url::IWebUrl* web = nullptr;
  com::HResult h = webUrl(&web);
  return com::failed(h) ? h : web->nohttp(address, result);
}

com::HResult SiteData::relativeMd5Path(const std::u16string& address, std::u16string* result) {
  url::IWebUrl* web = nullptr;
  std::u16string host, rest;
  com::HResult h = webUrl(&web);
  if (com::succeeded(h)) h = web->gethost(address, &host);
  if (com::succeeded(h)) h = web->nohttp(address, &rest);
  if (com::failed(h)) return h;
  *result = host + u"/" + MD5()(text::replaceAll(rest, host, u""));
  return com::kOk;
}

com::HResult SiteData::ChUrltoPath(const std::u16string& address, std::u16string* result) {
  if (!applySaveFolderDefault()) return com::kPathNotFound;
  std::u16string rel;
  com::HResult h = relativePath(address, &rel);
  if (com::failed(h)) return h;
  *result = SavePath_ + u"/" + rel;
  return com::kOk;
}

com::HResult SiteData::ChUrltoMd5path(const std::u16string& address, std::u16string* result) {
  if (!applySaveFolderDefault()) return com::kPathNotFound;
  std::u16string rel;
  com::HResult h = relativeMd5Path(address, &rel);
  if (com::failed(h)) return h;
  *result = SavePath_ + u"/" + rel;
  return com::kOk;
}

bool SiteData::isExsitUrl(const std::u16string& address, bool ISmd5) {
  // Whatever cannot be told counts as saved, so the crawler does not fetch it.
  if (!applySaveFolderDefault()) return true;
  // An https page is saved where the http one of the same host and path is.
  const std::u16string stored = url::storageForm(address);
  url::IWebUrl* web = nullptr;
  std::u16string host, rest;
  if (com::failed(webUrl(&web)) || com::failed(web->gethost(stored, &host)) ||
      com::failed(web->nohttp(stored, &rest))) {
    return true;
  }
  std::u16string target = stored;
  if (text::replaceAll(rest, host, u"").empty()) target += u"/index.html";  // the bare host
  if (target.ends_with(u'/')) target += u"index.html";
  std::u16string rel;
  com::HResult h = com::kOk;
  if (ISmd5) {
    h = relativeMd5Path(target, &rel);
  } else if (target == stored) {
    rel = std::move(rest);  // the path worked out above
  } else {
    h = relativePath(target, &rel);
  }
  if (com::failed(h) || !staysInside(rel)) return true;
  if (fileThere(fsPath(SavePath_ + u"/" + rel))) return true;
  if (ISmd5) return false;
  // The names the crawl saves under now (a page with ".html", a decoded path).
  for (const std::u16string& name : localNameCandidates(address)) {
    if (name != rel && fileThere(fsPath(SavePath_ + u"/" + name))) return true;
  }
  return false;
}

bool SiteData::fileThere(const std::string& path) {
  if (!rememberMissing_) return fs::isFile(path);
  const size_t key = std::hash<std::string>()(path);
  if (missing_.contains(key)) return false;
  if (fs::isFile(path)) return true;
  if (missing_.size() >= kMissingLimit) missing_.clear();
  missing_.insert(key);
  return false;
}

std::u16string SiteData::makeRoomFor(std::u16string name, std::vector<std::u16string>* moved) {
  if (!applySaveFolderDefault() || !savable(name)) return name;
  std::u16string path = SavePath_;
  for (size_t start = 0, slash; (slash = name.find(u'/', start)) != std::u16string::npos; start = slash + 1) {
    path.append(u"/").append(name, start, slash - start);
    const std::string folder = fsPath(path);
    if (!fs::isFile(folder)) continue;
    // A file where a folder is needed moves into that folder as its index.
    const std::string aside = folder + text::toUtf8(kPartialSuffix) + "-moved";
    if (fs::renameFile(folder, aside) != fs::Error::kOk) return name;
    if (fs::createFolder(folder) != fs::Error::kOk || fs::renameFile(aside, folder + "/index.html") != fs::Error::kOk) {
      (void)fs::renameFile(aside, folder);  // back where it was; the save then fails on its own
      return name;
    }
    madeFile(folder + "/index.html");
    if (moved) moved->push_back(name.substr(0, slash));
  }
  // A folder has the file's name already: the file goes into it.
  if (fs::isFolder(fsPath(SavePath_ + u"/" + name))) name += u"/index.html";
  return name;
}

// The spill folder "tmp" is the program's alone: nothing fetched is saved
// there, whatever the host is called.
bool SiteData::savable(const std::u16string& name) const {
  if (!staysInside(name)) return false;
  for (size_t start = 0;;) {
    const size_t slash = name.find(u'/', start);
    const std::u16string_view seg =
        std::u16string_view(name).substr(start, slash == std::u16string::npos ? slash : slash - start);
    if (!seg.empty() && seg != u".") return seg != u"tmp";
    start = slash + 1;  // staysInside saw a real name, so one comes
  }
}

// The folders of every segment but the last, one level at a time; the save
// folder itself is never created.
fs::Error SiteData::createFolders(const std::u16string& name) {
  std::u16string folder = SavePath_;
  for (size_t start = 0, slash; (slash = name.find(u'/', start)) != std::u16string::npos; start = slash + 1) {
    folder.append(u"/").append(name, start, slash - start);
    const std::string path = fsPath(folder);
    if (fs::exists(path)) continue;
    if (fs::Error e = fs::createFolder(path); e != fs::Error::kOk) return e;
  }
  return fs::Error::kOk;
}

void SiteData::saveFileByUrl(const std::u16string& address, const Bytes& data, int32_t /*ISenCode*/) {
  if (!applySaveFolderDefault() || !savable(address) || createFolders(address) != fs::Error::kOk) return;
  const std::string file = fsPath(savedFile(address));
  madeFile(file);
  (void)fs::appendFile(file, data);  // failures end the call silently
}

fs::Error SiteData::savePartial(const std::u16string& address, const Bytes& data, bool first) {
  if (!applySaveFolderDefault() || !savable(address)) return fs::Error::kInvalidPath;
  const std::string partial = fsPath(savedFile(address) + std::u16string(kPartialSuffix));
  // The file stays open from the first piece to the end of the fetch.
  if (first || partial != partialPath_) {
    (void)partial_.close();  // an abandoned body: its file is created anew
    partialPath_ = partial;
    fs::Error e = first ? partial_.create(partial) : partial_.open(partial);
    // Most pages go to a folder made for an earlier one: its folders are
    // made (and the disk asked about them) only when one is missing.
    if (first && e == fs::Error::kNotFound) {
      e = createFolders(address);
      if (e == fs::Error::kOk) e = partial_.create(partial);
    }
    if (e != fs::Error::kOk) return e;
  }
  return partial_.append(data);
}

fs::Error SiteData::commitPartial(const std::u16string& address) {
  if (!applySaveFolderDefault() || !savable(address)) return fs::Error::kInvalidPath;
  const std::string file = fsPath(savedFile(address));
  const fs::Error closed = closePartial(file + text::toUtf8(kPartialSuffix));
  madeFile(file);
  return closed != fs::Error::kOk ? closed : fs::renameFile(file + text::toUtf8(kPartialSuffix), file);
}

void SiteData::removeFileByUrl(const std::u16string& address) {
  if (!applySaveFolderDefault() || !savable(address)) return;
  (void)fs::removeFile(fsPath(savedFile(address)));  // a file already gone is what was asked
}

void SiteData::discardPartial(const std::u16string& address) {
  if (!applySaveFolderDefault() || !savable(address)) return;
  const std::string partial = fsPath(savedFile(address) + std::u16string(kPartialSuffix));
  // The partial file is dropped whatever its close says.
  (void)closePartial(partial);
  (void)fs::removeFile(partial);
}

fs::Error SiteData::closePartial(const std::string& partial) {
  if (partial != partialPath_) return fs::Error::kOk;
  partialPath_.clear();
  return partial_.close();
}

std::u16string SiteData::savedFile(const std::u16string& name) const {
  // Doubled separators fold into one, in one left-to-right pass.
  return text::replaceAll(SavePath_ + u"/" + name, u"//", u"/");
}

std::u16string SiteData::GetExtName(const std::u16string& fileName) {
  size_t dot = fileName.rfind(u'.');
  return dot == std::u16string::npos ? fileName : fileName.substr(dot + 1);
}

void SiteData::ClearTmp() { applySaveFolderDefault(); }

std::string SiteData::spillFolder() const { return fsPath(SavePath_) + "/tmp"; }

bool SiteData::claimSpillFolder(int32_t wnum) {
  if (!applySaveFolderDefault()) return false;
  const std::string folder = spillFolder();
  const std::string marker = folder + "/" + kSpillMarker;
  if (fs::missing(folder)) {
    if (fs::createFolder(folder) != fs::Error::kOk) return false;
    if (fs::replaceFile(marker, kMarkerText) == fs::Error::kOk) return true;
    (void)fs::removeFolder(folder);  // an empty folder of ours; claimed again next time
    return false;
  }
  if (fs::isFile(marker)) return true;
  std::vector<fs::Entry> entries;
  if (fs::listFolder(folder, entries) != fs::Error::kOk) return false;
  const bool journal = std::any_of(entries.begin(), entries.end(),
                                   [](const fs::Entry& e) { return !e.isFolder && e.name == kJournalName; });
  for (const fs::Entry& e : entries) {
    if (e.isFolder) return false;
    if (e.name == kJournalName || isLeftover(e.name)) continue;
    const int64_t n = spillNumber(e.name);
    if (n < 0 || (!journal && n >= wnum)) return false;
  }
  // Empty, or an older copy's queue: the program's from now on.
  return fs::replaceFile(marker, kMarkerText) == fs::Error::kOk;
}

bool SiteData::ownsSpillFolder() const { return fs::isFile(spillFolder() + "/" + kSpillMarker); }

std::string SiteData::spillFileName(int32_t number) const {
  return spillFolder() + "/" + std::to_string(number) + ".dat";
}

bool SiteData::spill(UrlList& list, int32_t& wfnum, size_t floor) {
  if (!applySaveFolderDefault()) return false;
  // A missing tmp folder must not cost the queue: it is created here, but
  // only inside an existing save folder, and only a folder of the program's
  // own takes spill files.
  if (!claimSpillFolder(wfnum)) return false;
  const int32_t number = wfnum;
  const std::string name = spillFileName(number);
  Bytes records;
  std::vector<std::u16string> moved;
  bool encoded = true;
  for (;;) {
    // Handlers run here may append to the queue: the count and the last item
    // are read afresh after every pump.
    if (pump_) pump_();
    const size_t count = list.count();
    if (count < floor) break;
    std::u16string item = list.itemAt(count - 1);
    std::optional<Bytes> record = spill::encodeRecord(codePageSafe(item));
    if (!record) {
      encoded = false;
      break;
    }
    records += *record;
    list.removeAt(count - 1);
    moved.push_back(std::move(item));
  }
  // The file appears whole under its name, flushed to the disk, before the
  // counter moves on; when it cannot be written the items go back to the
  // end of the queue in their order and the counter stays.
  // Records already in the file (an earlier run's, or a spill's run by a
  // handler inside the pump) stay in front of the new ones.
  Bytes file;
  const bool ok = encoded && (!fs::isFile(name) || fs::readFile(name, file) == fs::Error::kOk) &&
                  fs::replaceFile(name, file + records) == fs::Error::kOk;
  if (!ok) {
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) list.append(std::move(*it));
    return false;
  }
  // A spill run by a handler inside the pump may already have moved the
  // counter past this file; moving it again would leave a gap that the
  // reader would stop at for good.
  if (wfnum == number) wfnum = next(number);
  return true;
}

bool SiteData::SaveList(UrlList& list, int32_t& wfnum) { return spill(list, wfnum, kSpillFloor); }

bool SiteData::SaveAllList(UrlList& list, int32_t& wfnum) { return spill(list, wfnum, 1); }

size_t SiteData::removePartialFiles(const std::vector<std::u16string>& sites) {
  if (!applySaveFolderDefault()) return 0;
  size_t removed = 0;
  std::vector<std::string> folders;
  for (const std::u16string& site : sites) {
    const std::u16string name = localName(u"http://" + site + u"/");
    const size_t slash = name.find(u'/');
    if (slash != std::u16string::npos && slash > 0) folders.push_back(fsPath(savedFile(name.substr(0, slash))));
  }
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  while (!folders.empty()) {
    const std::string folder = std::move(folders.back());
    folders.pop_back();
    std::vector<fs::Entry> entries;
    if (fs::listFolder(folder, entries) != fs::Error::kOk) continue;
    for (const fs::Entry& e : entries) {
      if (e.isLink) continue;
      if (e.isFolder) {
        folders.push_back(folder + "/" + e.name);
      } else if (e.name.ends_with(text::toUtf8(kPartialSuffix)) && fs::removeFile(folder + "/" + e.name) == fs::Error::kOk) {
        ++removed;
      }
    }
  }
  return removed;
}

void SiteData::removeSpillLeftovers() {
  if (!applySaveFolderDefault()) return;
  std::vector<fs::Entry> entries;
  if (!ownsSpillFolder() || fs::listFolder(spillFolder(), entries) != fs::Error::kOk) return;
  for (const fs::Entry& e : entries) {
    if (!e.isFolder && isLeftover(e.name)) {
      (void)fs::removeFile(spillFolder() + "/" + e.name);  // left over again, removed next time
    }
  }
}

bool SiteData::removeSpillFolder() {
  if (!applySaveFolderDefault()) return false;
  const std::string folder = spillFolder();
  std::vector<fs::Entry> entries;
  if (fs::listFolder(folder, entries) != fs::Error::kOk) return !fs::exists(folder);
  if (!ownsSpillFolder()) return false;  // someone else's: left as it is
  removeSpillLeftovers();
  bool othersStay = false;
  for (const fs::Entry& e : entries) {
    if (!e.isFolder && (spillNumber(e.name) >= 0 || e.name == kJournalName)) {
      (void)fs::removeFile(folder + "/" + e.name);  // removeFolder tells
    } else if (e.name != kSpillMarker && !isLeftover(e.name)) {
      othersStay = true;
    }
  }
  // The marker goes last, and only when nothing else stays.
  return !othersStay && fs::removeFile(folder + "/" + kSpillMarker) == fs::Error::kOk &&
         fs::removeFolder(folder) == fs::Error::kOk;
}

bool SiteData::removeSpillFiles() {
  if (!applySaveFolderDefault()) return false;
  std::vector<fs::Entry> entries;
  if (fs::listFolder(spillFolder(), entries) != fs::Error::kOk) return !fs::exists(spillFolder());
  bool removed = true;
  for (const fs::Entry& e : entries) {
    if (!e.isFolder && isProgramFile("tmp/" + e.name) && e.name.ends_with(".dat")) {
      removed = fs::removeFile(spillFolder() + "/" + e.name) == fs::Error::kOk && removed;
    }
  }
  return removed;
}

int32_t SiteData::nextSpillNumber() {
  if (!applySaveFolderDefault()) return 0;
  std::vector<fs::Entry> entries;
  int64_t highest = -1;
  if (!ownsSpillFolder() || fs::listFolder(spillFolder(), entries) != fs::Error::kOk) return 0;
  for (const fs::Entry& e : entries) {
    if (!e.isFolder) highest = std::max(highest, spillNumber(e.name));
  }
  return static_cast<int32_t>(highest + 1);
}

bool isProgramFile(std::string_view path) {
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.ends_with(".harbek-part")) return true;
  if (slash == std::string_view::npos) return false;
  const std::string_view folder = path.substr(0, slash);
  // The copy's state store (state.db and its WAL files): no host is named so.
  if (folder == ".harbek" || folder.ends_with("/.harbek")) return true;
  if (folder != "tmp" && !folder.ends_with("/tmp")) return false;
  const std::string_view digits = name.substr(0, name.size() - std::min<size_t>(name.size(), 4));
  const bool spillFile = name.ends_with(".dat") && !digits.empty() &&
                         digits.find_first_not_of("0123456789") == std::string_view::npos;
  const bool leftover = name.starts_with(".") && name.find(".tmp") != std::string_view::npos;
  return spillFile || leftover || name == "queue.journal";
}

void SiteData::LoadList(UrlList& list, int32_t& rfnum) {
  if (!applySaveFolderDefault()) return;
  const std::string name = spillFileName(rfnum);
  if (!fs::isFile(name) || !ownsSpillFolder()) return;
  Bytes data;
  if (fs::readFile(name, data) != fs::Error::kOk) return;
  // A corrupt record ends the file: the items before it are kept and the
  // counter still advances, so a damaged file is not read again and again.
  size_t pos = 0;
  std::u16string item;
  while (spill::readRecord(data, pos, item) == spill::ReadStatus::kOk) list.append(item);
  rfnum = next(rfnum);
}

}  // namespace harbek::store
