#include "crawler/crawl_scope.h"

#include <fnmatch.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "libs/url/fetch_url.h"
#include "platform/text/text.h"

namespace harbek::crawler {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A robots.txt path pattern: "*" matches any run of characters, a final "$"
// anchors the end; anything else matches itself from the path's start.
bool robotsMatch(std::string_view pattern, std::string_view path) {
  const bool anchored = pattern.ends_with('$');
  if (anchored) pattern.remove_suffix(1);
  // Greedy-free matching with one backtrack point per star.
  size_t p = 0, s = 0, star = std::string_view::npos, mark = 0;
  while (s < path.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = s;
    } else if (p < pattern.size() && pattern[p] == path[s]) {
      ++p;
      ++s;
    } else if (!anchored && p == pattern.size()) {
      return true;  // a prefix match
    } else if (star != std::string_view::npos) {
      p = star + 1;
      s = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

std::vector<std::u16string> splitPatterns(std::u16string_view text) {
  std::vector<std::u16string> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == u' ') ++i;
    const size_t end = std::min(text.find(u' ', i), text.size());
    if (end > i) out.emplace_back(text.substr(i, end - i));
    i = end;
  }
  return out;
}

std::u16string joinPatterns(const std::vector<std::u16string>& patterns) {
  std::u16string out;
  for (const std::u16string& p : patterns) out += (out.empty() ? u"" : u" ") + p;
  return out;
}

RobotsRules RobotsRules::parse(std::string_view body, std::string_view agent) {
  // Groups: one or more User-agent lines, then their rules. The group that
  // names the agent wins over "*".
  RobotsRules mine, any;
  bool haveMine = false, haveAny = false;
  bool inAgents = false, forMine = false, forAny = false;
  size_t pos = 0;
  while (pos <= body.size()) {
    size_t eol = body.find_first_of("\r\n", pos);
    if (eol == std::string_view::npos) eol = body.size();
    std::string_view line = body.substr(pos, eol - pos);
    pos = eol + 1;
    if (size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string key = lowerAscii(trim(line.substr(0, colon)));
    const std::string_view value = trim(line.substr(colon + 1));
    if (key == "user-agent") {
      if (!inAgents) forMine = forAny = false;
      inAgents = true;
      const std::string name = lowerAscii(value);
      if (name == "*") {
        forAny = true;
        haveAny = true;
      } else if (!name.empty() && agent.find(name) != std::string_view::npos) {
        forMine = true;
        haveMine = true;
      }
      continue;
    }
    inAgents = false;
    auto add = [&](RobotsRules& to) {
      if (key == "allow" || key == "disallow") {
        if (!value.empty()) to.rules_.push_back({key == "allow", std::string(value)});
      } else if (key == "crawl-delay") {
        double d = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), d);
        if (ec == std::errc() && std::isfinite(d) && d > 0) to.crawlDelay_ = std::min(d, 60.0);
      }
    };
    if (forMine) add(mine);
    if (forAny) add(any);
  }
  if (haveMine) return mine;
  if (haveAny) return any;
  return {};
}

std::u16string RobotsRules::disallowedBy(std::string_view path) const {
  const Rule* best = nullptr;
  for (const Rule& r : rules_) {
    if (!robotsMatch(r.pattern, path)) continue;
    if (!best || r.pattern.size() > best->pattern.size() || (r.pattern.size() == best->pattern.size() && r.allow)) {
      best = &r;
    }
  }
  if (!best || best->allow) return {};
  return u"robots.txt Disallow: " + text::fromUtf8(best->pattern);
}

std::u16string CrawlScope::stripDepth(std::u16string_view entry, int32_t* depth) {
  if (depth) *depth = 0;
  const size_t at = entry.rfind(kDepthMark);
  if (at == std::u16string_view::npos) return std::u16string(entry);
  const std::u16string_view digits = entry.substr(at + kDepthMark.size());
  int32_t n = 0;
  for (const char16_t c : digits) {
    if (c < u'0' || c > u'9' || n > 100000000) return std::u16string(entry);  // not our mark
    n = n * 10 + (c - u'0');
  }
  if (digits.empty()) return std::u16string(entry);
  if (depth) *depth = n;
  return std::u16string(entry.substr(0, at));
}

std::u16string CrawlScope::queued(const std::u16string& link, int32_t depth) const {
  if (rules_.depth < 0 || depth <= 0) return link;
  return link + std::u16string(kDepthMark) + text::widen(std::to_string(depth));
}

std::u16string CrawlScope::excludedBy(std::u16string_view link, int32_t depth, bool requisite) const {
  if (rules_.depth >= 0 && depth > rules_.depth && !requisite) {
    return u"--depth " + text::widen(std::to_string(rules_.depth));
  }
  if (rules_.include.empty() && rules_.exclude.empty()) return {};
  const std::optional<url::FetchUrl> u = url::FetchUrl::parse(link);
  if (!u) return {};
  const std::string path = text::toUtf8(u->path);
  auto matches = [&](const std::u16string& pattern) {
    return ::fnmatch(text::toUtf8(pattern).c_str(), path.c_str(), FNM_CASEFOLD) == 0;
  };
  for (const std::u16string& p : rules_.exclude) {
    if (matches(p)) return u"--exclude " + p;
  }
  if (!rules_.include.empty() && std::none_of(rules_.include.begin(), rules_.include.end(), matches)) {
    return u"--include " + joinPatterns(rules_.include);
  }
  return {};
}

std::u16string CrawlScope::robotsExcluded(const std::u16string& site, std::u16string_view link) const {
  if (!rules_.robots) return {};
  const auto it = robots_.find(site);
  if (it == robots_.end()) return {};
  const std::optional<url::FetchUrl> u = url::FetchUrl::parse(link);
  if (!u) return {};
  return it->second.disallowedBy(text::toUtf8(u->wireText()).substr(text::toUtf8(u->scheme).size() + 3 +
                                                                     text::toUtf8(u->authority()).size()));
}

int CrawlScope::crawlDelayMs() const {
  double most = 0;
  for (const auto& [site, rules] : robots_) most = std::max(most, rules.crawlDelaySeconds());
  return static_cast<int>(most * 1000);
}

bool CrawlScope::firstExclusion(std::u16string_view link) {
  return told_.insert(std::hash<std::u16string_view>()(link)).second;
}

}  // namespace harbek::crawler
