#include "crawler/settings.h"

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

com::HResult loadSettings(ini::IIni& ini, const std::u16string& path, Settings& out) {
  auto read = [&](const char16_t* key, std::u16string& value) {
    return ini.getIni(path, u"sys", key, &value);
  };
  std::u16string rnum, wnum, wait;
  com::HResult h = com::kOk;
  for (auto [key, value] : {std::pair{u"dbpath", &out.dbpath}, {u"Rnum", &rnum}, {u"Wnum", &wnum},
                            {u"SiteListUrl", &out.SiteListUrl}, {u"waitTime", &wait},
                            {u"username", &out.username}}) {
    if (com::failed(h = read(key, *value))) return h;
  }
  out.Rnum = static_cast<int32_t>(settingNumber(rnum, INT32_MIN, INT32_MAX));
  out.Wnum = static_cast<int32_t>(settingNumber(wnum, INT32_MIN, INT32_MAX));
  out.waitTime = static_cast<int16_t>(settingNumber(wait, INT16_MIN, INT16_MAX));
  return com::kOk;
}

com::HResult saveSettings(ini::IIni& ini, const std::u16string& path, const Settings& in) {
  auto number = [](int64_t n) { return text::widen(std::to_string(n)); };
  const std::pair<const char16_t*, std::u16string> values[] = {
      {u"dbpath", in.dbpath},           {u"wnum", number(in.Wnum)},        {u"Rnum", number(in.Rnum)},
      {u"SiteListUrl", in.SiteListUrl}, {u"waitTime", number(in.waitTime)},
  };
  com::HResult result = com::kOk;
  for (const auto& [key, value] : values) {
    com::Flag stored = com::Flag::False;
    com::HResult h = ini.WriteIni(u"sys", key, value, path, &stored);
    if (com::failed(h)) return h;
    if (!com::isTrue(stored)) result = com::kPermissionDenied;
  }
  return result;
}

}  // namespace harbek::crawler
