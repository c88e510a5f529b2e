#include "crawler/settings.h"

#include <algorithm>
#include <vector>
#include <unistd.h>

#include "platform/fs/fs.h"
#include "platform/text/text.h"

namespace harbek::crawler {

int64_t settingNumber(const std::u16string& text, int64_t lo, int64_t hi) {
  size_t b = 0, e = text.size();
  while (b < e && text[b] == u' ') ++b;
  while (e > b && text[e - 1] == u' ') --e;
  if (b == e) return 0;
  bool negative = text[b] == u'-';
  if (negative || text[b] == u'+') ++b;
  if (b == e) return 0;
  int64_t value = 0;
  for (size_t i = b; i < e; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return 0;
    value = value * 10 + (text[i] - u'0');
    if (value > hi - lo + 1) return 0;  // far too wide already
  }
  if (negative) value = -value;
  return value < lo || value > hi ? 0 : value;
}

profile::ProfileError loadSettings(const std::u16string& path, Settings& out) {
  // The file is read whole, so no value is cut to a buffer's size; a missing
  // file is an empty one.
  std::string content;
  const fs::Error e = fs::readFile(text::toUtf8(path), content);
  if (e != fs::Error::kOk && e != fs::Error::kNotFound) return profile::ProfileError::kCannotRead;
  auto read = [&](std::string_view key) {
    const auto value = profile::findValue(content, "sys", key);
    return value ? text::fromCodePage(*value) : std::u16string();
  };
  out.dbpath = read("dbpath");
  out.Rnum = static_cast<int32_t>(settingNumber(read("Rnum"), INT32_MIN, INT32_MAX));
  out.Wnum = static_cast<int32_t>(settingNumber(read("Wnum"), INT32_MIN, INT32_MAX));
  out.SiteListUrl = read("SiteListUrl");
  out.waitTime = static_cast<int16_t>(settingNumber(read("waitTime"), INT16_MIN, INT16_MAX));
  out.username = read("username");
  out.UserAgent = read("UserAgent");
  out.NoCheckCertificate = settingNumber(read("NoCheckCertificate"), 0, 1) == 1;
  out.CaCertificate = read("CaCertificate");
  out.ConvertLinks = settingNumber(read("ConvertLinks"), 0, 1) == 1;
  out.QueryPages = settingNumber(read("QueryPages"), 0, 1) == 1;
  out.PageRequisites = settingNumber(read("PageRequisites"), 0, 1) == 1;
  const std::u16string depth = read("Depth");
  out.Depth = depth.empty() ? -1 : static_cast<int32_t>(settingNumber(depth, 0, INT32_MAX));
  out.Include = read("Include");
  out.Exclude = read("Exclude");
  out.MaxSize = settingNumber(read("MaxSize"), 0, int64_t{1} << 50);
  out.MaxFiles = settingNumber(read("MaxFiles"), 0, int64_t{1} << 50);
  out.Robots = settingNumber(read("Robots"), 0, 1) == 1;
  out.Connections = static_cast<int32_t>(std::max<int64_t>(1, settingNumber(read("Connections"), 1, kMaxConnections)));
  return profile::ProfileError::kNone;
}

profile::ProfileError settingsWritable(const std::u16string& path, bool folderMayBeMade) {
  const std::string file = text::toUtf8(path);
  if (fs::isFolder(file)) return profile::ProfileError::kCannotWrite;
  if (fs::exists(file)) return ::access(file.c_str(), W_OK) == 0 ? profile::ProfileError::kNone : profile::ProfileError::kReadOnly;
  const size_t slash = file.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
  while (folderMayBeMade && fs::missing(folder) && folder.find('/', 1) != std::string::npos) {
    folder = folder.substr(0, folder.rfind('/'));
  }
  return fs::isFolder(folder) && ::access(folder.c_str(), W_OK) == 0 ? profile::ProfileError::kNone
                                                                      : profile::ProfileError::kCannotWrite;
}

bool fitsSettingsFile(std::u16string_view value) { return text::fromCodePage(text::toCodePage(value)) == value; }

profile::ProfileError saveSettings(const std::u16string& path, const Settings& in) {
  auto number = [](int64_t n) { return std::to_string(n); };
  for (const std::u16string* text :
       {&in.dbpath, &in.SiteListUrl, &in.UserAgent, &in.CaCertificate, &in.Include, &in.Exclude}) {
    if (!fitsSettingsFile(*text)) return profile::ProfileError::kBadName;
  }
  std::vector<std::pair<std::string, std::string>> values = {
      {"dbpath", text::toCodePage(in.dbpath)},           {"wnum", number(in.Wnum)}, {"Rnum", number(in.Rnum)},
      {"SiteListUrl", text::toCodePage(in.SiteListUrl)}, {"waitTime", number(in.waitTime)},
  };
  std::string content;
  (void)fs::readFile(text::toUtf8(path), content);  // a file that cannot be read is written anew
  const struct {
    const char* key;
    std::string value;
    bool set;
  } laterValues[] = {
      {"UserAgent", text::toCodePage(in.UserAgent), !in.UserAgent.empty()},
      {"NoCheckCertificate", in.NoCheckCertificate ? "1" : "0", in.NoCheckCertificate},
      {"CaCertificate", text::toCodePage(in.CaCertificate), !in.CaCertificate.empty()},
      {"ConvertLinks", in.ConvertLinks ? "1" : "0", in.ConvertLinks},
      {"QueryPages", in.QueryPages ? "1" : "0", in.QueryPages},
      {"PageRequisites", in.PageRequisites ? "1" : "0", in.PageRequisites},
      {"Depth", in.Depth >= 0 ? number(in.Depth) : "", in.Depth >= 0},
      {"Include", text::toCodePage(in.Include), !in.Include.empty()},
      {"Exclude", text::toCodePage(in.Exclude), !in.Exclude.empty()},
      {"MaxSize", number(in.MaxSize), in.MaxSize > 0},
      {"MaxFiles", number(in.MaxFiles), in.MaxFiles > 0},
      {"Robots", in.Robots ? "1" : "0", in.Robots},
      {"Connections", number(in.Connections), in.Connections > 1},
  };
  // A file that never had one of these keys keeps its shape until the user
  // sets it.
  for (const auto& r : laterValues) {
    if (r.set || profile::findValue(content, "sys", r.key)) values.emplace_back(r.key, r.value);
  }
  // One write of the whole file: the save folder and the counters that
  // belong to it never reach the disk apart.
  return profile::writeProfileStrings(text::toUtf8(path), "sys", values);
}

}  // namespace harbek::crawler
