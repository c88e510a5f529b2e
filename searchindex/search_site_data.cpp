#include "searchindex/search_site_data.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "searchindex/record_file.h"
#include "platform/component/fs_errors.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"

namespace harbek::quenby {
namespace {

std::string fsPath(std::u16string_view path) { return text::toUtf8(path); }

bool onlySpaces(std::u16string_view s) { return s.find_first_not_of(u' ') == std::u16string_view::npos; }

}  // namespace

std::u16string moduleFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&moduleFolder), &info) == 0 || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  std::string file = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
  size_t slash = file.rfind('/');
  if (slash == std::string::npos) return {};
  return text::fromUtf8(file.substr(0, slash));
}

bool SiteData::applySaveFolderDefault() {
  if (SavePath_.empty()) SavePath_ = moduleFolder();
  return !SavePath_.empty();
}

std::string SiteData::tmpFile() const { return fsPath(SavePath_) + "/tmp.dat"; }

void SiteData::PutTmpRecord(const std::vector<std::u16string>& texts) {
  if (applySaveFolderDefault()) appendRecords(tmpFile(), texts);
}

std::u16string SiteData::GetTmpRecord(int32_t& pos) {
  if (!applySaveFolderDefault()) return {};
  std::u16string text;
  switch (readRecordAt(tmpFile(), pos, text)) {
    case RecordRead::kOk: return text;
    case RecordRead::kBlank: return u"LOF/ALL";
    case RecordRead::kNothing: break;
  }
  return {};
}

void SiteData::inputTmpUrl(const std::u16string& url, const std::u16string& urlText,
                           const std::u16string& comeFromUrl, const std::u16string& comeFromText) {
  if (onlySpaces(url)) return;
  PutTmpRecord({url, urlText, comeFromUrl, comeFromText});
}

void SiteData::GetTmpUrl(std::u16string& url, std::u16string& urlText, std::u16string& comeFromUrl,
                         std::u16string& comeFromText, int32_t& pos) {
  url = GetTmpRecord(pos);
  urlText = GetTmpRecord(pos);
  comeFromUrl = GetTmpRecord(pos);
  comeFromText = GetTmpRecord(pos);
}

void SiteData::inputToindex(const std::u16string& str, const std::u16string& pth) {
  appendRecords(fsPath(pth), {str});
}

HResult SiteData::ChUrltoPath(const std::u16string& address, std::u16string* result) {
  if (!applySaveFolderDefault()) return com::kPathNotFound;
  paths_.setSavePath(SavePath_);
  return paths_.ChUrltoPath(address, result);
}

HResult SiteData::ChUrltoMd5path(const std::u16string& address, std::u16string* result) {
  if (!applySaveFolderDefault()) return com::kPathNotFound;
  paths_.setSavePath(SavePath_);
  return paths_.ChUrltoMd5path(address, result);
}

HResult SiteData::isExsitUrl(const std::u16string& address, bool ISmd5, bool* result) {
  std::u16string target = address;
  if (target.ends_with(u'/')) target += u"index.html";
  std::u16string path;
  HResult h = ISmd5 ? ChUrltoMd5path(target, &path) : ChUrltoPath(target, &path);
  if (com::failed(h)) return h;
  // Whatever lies outside the save folder is not looked at.
  const std::string file = fsPath(path);
  std::u16string_view rel = std::u16string_view(path).substr(std::min(path.size(), SavePath_.size() + 1));
  *result = store::staysInside(rel) && fs::isFile(file) &&
            ::access(file.c_str(), R_OK | W_OK) == 0;
  return com::kOk;
}

HResult SiteData::saveFileByUrl(const std::u16string& address, const Bytes& data, bool ISenCode) {
  std::u16string target = address;
  if (target.ends_with(u'/')) target += u"index.html";
  bool saved = false;
  HResult h = isExsitUrl(target, ISenCode, &saved);
  if (com::failed(h) || saved) return h;
  if (!store::staysInside(target)) return com::kInvalidArgument;
  // The folders of every segment but the last, one level at a time; the save
  // folder itself is never created.
  std::u16string folder = SavePath_;
  for (size_t start = 0, slash; (slash = target.find(u'/', start)) != std::u16string::npos; start = slash + 1) {
    folder.append(u"/").append(target, start, slash - start);
    const std::string path = fsPath(folder);
    if (fs::exists(path)) continue;
    if (fs::Error e = fs::createFolder(path); e != fs::Error::kOk) return com::fromFsError(e);
  }
  return com::fromFsError(fs::appendFile(fsPath(SavePath_ + u"/" + target), data));
}

}  // namespace harbek::quenby
