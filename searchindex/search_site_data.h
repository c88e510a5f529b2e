// SiteData of the search index store.
//
// A second edition of the crawler's site store made for search indexing. It
// maps URLs to local paths and saves fetched bodies as the site store does
// (the path mapping is the site store's own code), and besides keeps a
// persistent queue of discovered links in S/tmp.dat and appends records to
// index files its caller names. Every file it writes is a sequence of spill
// records (the site store's format, masking and list key).
//
// The queue: each link is four consecutive records (url, urlText,
// comeFromUrl, comeFromText), appended in one write so a failed append never
// leaves a link with a record missing. Records are never removed; a reader
// keeps its own byte position, and several readers may walk one file.
//
// Differences from the site store: the save-folder default is the folder of
// the library's own module; saving asks isExsitUrl first and writes nothing
// when the file is there; failures of saving and of the URL operations come
// back as codes. Nothing is ever created or written outside the save folder:
// a URL with a ".." segment, an empty host or a host of "." is refused.
#pragma once

#include <cstdint>
#include <string>

#include "platform/component/errors.h"
#include "platform/text/text.h"
#include "store/site_data.h"

namespace harbek::quenby {

using text::Bytes;
using com::HResult;

// The folder holding the code of this library (the quenby module when it is
// loaded as a component), without a trailing "/"; empty when unknown.
std::u16string moduleFolder();

class SiteData {
 public:
  const std::u16string& SavePath() const { return SavePath_; }
  void setSavePath(std::u16string value) { SavePath_ = std::move(value); }

  // Queues one link, unless url is empty or only spaces. The texts are
  // written untrimmed. A link that cannot be written is lost.
  void inputTmpUrl(const std::u16string& url, const std::u16string& urlText, const std::u16string& comeFromUrl,
                   const std::u16string& comeFromText);
  // Reads the link at pos and moves pos past it. At the end of the queue all
  // four come back empty and pos stays, so the caller can come back later.
  void GetTmpUrl(std::u16string& url, std::u16string& urlText, std::u16string& comeFromUrl,
                 std::u16string& comeFromText, int32_t& pos);
  // Appends one record to the file pth (a full path), creating the file but
  // not its folder; SavePath plays no part. A record that cannot be written
  // is lost.
  static void inputToindex(const std::u16string& str, const std::u16string& pth);

  // Appends data to the file of the address (host and path, no scheme) unless
  // isExsitUrl(address, ISenCode) finds it already saved.
  HResult saveFileByUrl(const std::u16string& address, const Bytes& data, bool ISenCode);
  // Whether the file of the URL (digest-named with ISmd5) exists and can be
  // opened for reading and writing. A folder does not count.
  HResult isExsitUrl(const std::u16string& address, bool ISmd5, bool* result);
  HResult ChUrltoPath(const std::u16string& address, std::u16string* result);
  HResult ChUrltoMd5path(const std::u16string& address, std::u16string* result);

 private:
  bool applySaveFolderDefault();
  std::string tmpFile() const;
  // Appends the records of texts to tmp.dat in one write.
  void PutTmpRecord(const std::vector<std::u16string>& texts);
  // The record at pos; "LOF/ALL" for a blank length field and the empty text
  // when there is no record, pos unchanged in both cases.
  std::u16string GetTmpRecord(int32_t& pos);

  std::u16string SavePath_;
  store::SiteData paths_;
};

}  // namespace harbek::quenby
