// The settings file sys.ini, section "sys".
//
// Read in the order "dbpath", "Rnum", "Wnum", "SiteListUrl", "waitTime",
// "username"; written in the order "dbpath", "wnum", "Rnum", "SiteListUrl",
// "waitTime". "username" is only ever read, so a name put in the file by hand
// survives every save. A number that is missing, empty, not decimal or too
// wide for its field reads as 0: start-up never fails on the file. Values are
// read and written whole, whatever their length.
//
// The request settings "UserAgent", "NoCheckCertificate" (1 or 0) and
// "CaCertificate" follow; each is written only when it is set or already in
// the file, so a file that never had them keeps its old shape.
#pragma once

#include <cstdint>
#include <string>

#include "platform/profile/profile.h"

namespace harbek::crawler {

struct Settings {
  std::u16string dbpath;
  int32_t Rnum = 0;
  int32_t Wnum = 0;
  std::u16string SiteListUrl;
  int16_t waitTime = 0;
  std::u16string username;
  std::u16string UserAgent;  // empty: the fetcher's own
  bool NoCheckCertificate = false;
  std::u16string CaCertificate;  // empty: the system's trusted certificates
  // "ConvertLinks": the window converts a finished copy's links for offline
  // browsing. Written only once it has been turned on.
  bool ConvertLinks = false;
  // "QueryPages": same-site links with a query ("list.php?page=2") are
  // followed and their pages saved. Written only once it has been turned on.
  bool QueryPages = false;
  // "PageRequisites": a page's images, style sheets, scripts, fonts and
  // media are fetched from whatever site holds them. Written once turned on.
  bool PageRequisites = false;
  // The scope of a copy (see crawl_scope.h), each written only once set:
  // "Depth" (-1: none), "Include" and "Exclude" (patterns separated by
  // spaces), "MaxSize" and "MaxFiles" (0: none), "Robots" (1 or 0).
  int32_t Depth = -1;
  std::u16string Include;
  std::u16string Exclude;
  int64_t MaxSize = 0;
  int64_t MaxFiles = 0;
  bool Robots = false;
  // "Connections": how many requests a crawl runs at once, 1 to
  // kMaxConnections (see the fetching ahead in fetcher/prefetcher.h).
  // Written only once set above 1.
  int32_t Connections = 1;
};

inline constexpr int32_t kMaxConnections = 16;

// Decimal text, spaces around it ignored; 0 when it is not a number or does
// not fit in [lo, hi].
int64_t settingNumber(const std::u16string& text, int64_t lo, int64_t hi);

// A file that cannot be read gives CannotRead and leaves out as it was.
profile::ProfileError loadSettings(const std::u16string& path, Settings& out);
// BadName when a text cannot be stored exactly (a character the code page
// cannot hold): nothing is written then rather than a changed path.
profile::ProfileError saveSettings(const std::u16string& path, const Settings& in);
// Whether the settings file could be written now (it, or its folder, takes
// writes), so that a file that will not keep the settings is told at start.
// With folderMayBeMade, a missing folder counts as writable when it could be
// made.
profile::ProfileError settingsWritable(const std::u16string& path, bool folderMayBeMade = false);
// True when the settings file holds the text exactly as it is.
bool fitsSettingsFile(std::u16string_view value);

}  // namespace harbek::crawler
