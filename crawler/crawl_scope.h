// The scope of a copy: which links a crawl follows and which files it keeps.
//
// Every rule is off until it is set:
//   - depth: a page more than N links away from a start address is not
//     followed (a page's requisites come with it, whatever their depth);
//   - include and exclude: glob patterns on a link's path ("/docs/*",
//     "*.zip"); with include patterns a link must match one of them, and a
//     link that matches an exclude pattern is left out whatever else holds;
//   - max size: a file larger than this many bytes is not saved (judged from
//     Content-Length when the server sends one, else cut off as it arrives);
//   - max files: the crawl stops once this many files are saved in the run;
//   - robots: each host's /robots.txt is fetched once and its rules for the
//     agent's name (or else for "*") are kept; its Crawl-delay raises the
//     interval between two fetches.
//
// A link's depth rides with it in the queue, its spill files and its journal
// as a fragment the crawler strips before it fetches ("#harbek-depth=2"),
// placed before the requisite mark, so the queue's record format is
// unchanged. A queued URL without the mark is a start address (depth 0).
// Marks are written only while a depth limit is set.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace harbek::crawler {

struct ScopeRules {
  int32_t depth = -1;  // -1: no limit
  std::vector<std::u16string> include;
  std::vector<std::u16string> exclude;
  int64_t maxSize = 0;   // 0: no limit
  int64_t maxFiles = 0;  // 0: no limit
  bool robots = false;
};

// Patterns as the settings file keeps them: separated by spaces (a URL path
// holds none: a space in a link is sent as %20).
std::vector<std::u16string> splitPatterns(std::u16string_view text);
std::u16string joinPatterns(const std::vector<std::u16string>& patterns);

// The rules of one robots.txt for one agent.
class RobotsRules {
 public:
  // agent: the crawler's product name, in lower case ("harbek"). The group
  // that names it wins over the "*" group; with neither, all is allowed.
  static RobotsRules parse(std::string_view body, std::string_view agent);
  // The rule that forbids path (path and query, as requested), e.g.
  // "Disallow: /private/"; empty when it is allowed. The longest matching
  // rule decides, and Allow wins a tie.
  std::u16string disallowedBy(std::string_view path) const;
  double crawlDelaySeconds() const { return crawlDelay_; }

 private:
  struct Rule {
    bool allow;
    std::string pattern;
  };
  std::vector<Rule> rules_;
  double crawlDelay_ = 0;
};

class CrawlScope {
 public:
  static constexpr std::u16string_view kDepthMark = u"#harbek-depth=";

  void setRules(ScopeRules rules) { rules_ = std::move(rules); }
  const ScopeRules& rules() const { return rules_; }

  // A queue entry without its depth mark; its depth (0 without a mark) in
  // *depth.
  static std::u16string stripDepth(std::u16string_view entry, int32_t* depth = nullptr);
  // The entry for a link found at depth (the mark only while a depth limit
  // is set).
  std::u16string queued(const std::u16string& link, int32_t depth) const;

  // The rule that leaves link out ("--depth 2", "--exclude /a/*"), empty
  // when it is in scope. Requisites are not held to the depth.
  std::u16string excludedBy(std::u16string_view link, int32_t depth, bool requisite) const;

  // robots.txt, per site (host with its port).
  bool robotsWanted(const std::u16string& site) const { return rules_.robots && !robots_.contains(site); }
  void setRobots(const std::u16string& site, RobotsRules rules) { robots_[site] = std::move(rules); }
  std::u16string robotsExcluded(const std::u16string& site, std::u16string_view link) const;
  // The largest Crawl-delay of the sites seen, in milliseconds.
  int crawlDelayMs() const;

  // True the first time a URL is told as left out: each is logged once.
  bool firstExclusion(std::u16string_view link);

  bool maxFilesReached(int64_t saved) const { return rules_.maxFiles > 0 && saved >= rules_.maxFiles; }
  bool tooLarge(int64_t bytes) const { return rules_.maxSize > 0 && bytes > rules_.maxSize; }

 private:
  ScopeRules rules_;
  std::map<std::u16string, RobotsRules> robots_;
  std::unordered_set<size_t> told_;
};

}  // namespace harbek::crawler
