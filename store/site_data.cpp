#include "store/site_data.h"

#include <limits>
#include <string_view>

#include "platform/component/runtime.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "store/md5.h"
#include "store/spill_record.h"

namespace harbek::store {
namespace {

std::string fsPath(std::u16string_view path) { return text::toUtf8(path); }

// Every occurrence of needle replaced, left to right; an empty needle
// replaces nothing.
std::u16string replaceAll(std::u16string_view s, std::u16string_view needle, std::u16string_view with) {
  if (needle.empty()) return std::u16string(s);
  std::u16string out;
  size_t from = 0;
  for (size_t at; (at = s.find(needle, from)) != std::u16string_view::npos; from = at + needle.size()) {
    out.append(s.substr(from, at - from)).append(with);
  }
  out.append(s.substr(from));
  return out;
}

// The counter after n; the largest counter stays, as it would overflow.
int32_t next(int32_t n) { return n == std::numeric_limits<int32_t>::max() ? n : n + 1; }

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

com::HResult SiteData::relativePath(const std::u16string& Turl, std::u16string* result) {
  url::IWebUrl* web = nullptr;
  com::HResult h = webUrl(&web);
  return com::failed(h) ? h : web->nohttp(Turl, result);
}

com::HResult SiteData::relativeMd5Path(const std::u16string& Turl, std::u16string* result) {
  url::IWebUrl* web = nullptr;
  std::u16string host, rest;
  com::HResult h = webUrl(&web);
  if (com::succeeded(h)) h = web->gethost(Turl, &host);
  if (com::succeeded(h)) h = web->nohttp(Turl, &rest);
  if (com::failed(h)) return h;
  *result = host + u"/" + MD5()(replaceAll(rest, host, u""));
  return com::kOk;
}

com::HResult SiteData::ChUrltoPath(const std::u16string& Turl, std::u16string* result) {
  if (!applySaveFolderDefault()) return com::kPathNotFound;
  std::u16string rel;
  com::HResult h = relativePath(Turl, &rel);
  if (com::failed(h)) return h;
  *result = SavePath_ + u"/" + rel;
  return com::kOk;
}

com::HResult SiteData::ChUrltoMd5path(const std::u16string& Turl, std::u16string* result) {
  if (!applySaveFolderDefault()) return com::kPathNotFound;
  std::u16string rel;
  com::HResult h = relativeMd5Path(Turl, &rel);
  if (com::failed(h)) return h;
  *result = SavePath_ + u"/" + rel;
  return com::kOk;
}

bool SiteData::isExsitUrl(const std::u16string& Turl, bool ISmd5) {
  // Whatever cannot be told counts as saved, so the crawler does not fetch it.
  if (!applySaveFolderDefault()) return true;
  url::IWebUrl* web = nullptr;
  std::u16string host, rest;
  if (com::failed(webUrl(&web)) || com::failed(web->gethost(Turl, &host)) ||
      com::failed(web->nohttp(Turl, &rest))) {
    return true;
  }
  std::u16string target = Turl;
  if (replaceAll(rest, host, u"").empty()) target += u"/index.html";  // the bare host
  if (target.ends_with(u'/')) target += u"index.html";
  std::u16string rel;
  com::HResult h = ISmd5 ? relativeMd5Path(target, &rel) : relativePath(target, &rel);
  if (com::failed(h) || !staysInside(rel)) return true;
  return fs::isFile(fsPath(SavePath_ + u"/" + rel));
}

void SiteData::saveFileByUrl(const std::u16string& Turl, const Bytes& Data, int32_t /*ISenCode*/) {
  if (!applySaveFolderDefault() || !staysInside(Turl)) return;
  // The folders of every segment but the last, one level at a time; the save
  // folder itself is never created.
  std::u16string folder = SavePath_;
  for (size_t start = 0, slash; (slash = Turl.find(u'/', start)) != std::u16string::npos; start = slash + 1) {
    folder.append(u"/").append(Turl, start, slash - start);
    const std::string path = fsPath(folder);
    if (!fs::exists(path) && fs::createFolder(path) != fs::Error::kOk) return;
  }
  fs::appendFile(fsPath(savedFile(Turl)), Data);
}

void SiteData::removeFileByUrl(const std::u16string& Turl) {
  if (!applySaveFolderDefault() || !staysInside(Turl)) return;
  fs::removeFile(fsPath(savedFile(Turl)));
}

std::u16string SiteData::savedFile(const std::u16string& Turl) const {
  // Doubled separators fold into one, in one left-to-right pass.
  return replaceAll(SavePath_ + u"/" + Turl, u"//", u"/");
}

std::u16string SiteData::GetExtName(const std::u16string& strFileName) {
  size_t dot = strFileName.rfind(u'.');
  return dot == std::u16string::npos ? strFileName : strFileName.substr(dot + 1);
}

void SiteData::ClearTmp() { applySaveFolderDefault(); }

std::string SiteData::spillFileName(int32_t number) const {
  return fsPath(SavePath_) + "/tmp/" + std::to_string(number) + ".dat";
}

void SiteData::spill(UrlList& list, int32_t& wfnum, size_t floor) {
  if (!applySaveFolderDefault()) return;
  // A missing tmp folder must not cost the queue: it is created here, but
  // only inside an existing save folder.
  const std::string tmp = fsPath(SavePath_) + "/tmp";
  if (!fs::isFolder(tmp) && fs::createFolder(tmp) != fs::Error::kOk) return;
  const int32_t number = wfnum;
  fs::AppendFile file;
  if (file.open(spillFileName(number)) != fs::Error::kOk) return;
  for (;;) {
    // Handlers run here may append to the queue: the count and the last item
    // are read afresh after every pump.
    if (pump_) pump_();
    const size_t count = list.count();
    if (count < floor) break;
    // An item is removed only once its whole record is in the file; on a
    // failure the items not yet written stay queued and the counter stays,
    // so the next spill appends to the same file.
    std::optional<Bytes> record = spill::encodeRecord(list.itemAt(count - 1));
    if (!record || file.append(*record) != fs::Error::kOk) return;
    list.removeAt(count - 1);
  }
  // The counter moves on only once the file is safely on the disk.
  if (file.sync() != fs::Error::kOk || file.close() != fs::Error::kOk) return;
  // A spill run by a handler inside the pump may already have moved the
  // counter past this file; moving it again would leave a gap that the
  // reader would stop at for good.
  if (wfnum == number) wfnum = next(number);
}

void SiteData::SaveList(UrlList& list, int32_t& wfnum) { spill(list, wfnum, kSpillFloor); }

void SiteData::SaveAllList(UrlList& list, int32_t& wfnum) { spill(list, wfnum, 1); }

void SiteData::LoadList(UrlList& list, int32_t& rfnum) {
  if (!applySaveFolderDefault()) return;
  const std::string name = spillFileName(rfnum);
  if (!fs::isFile(name)) return;
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
