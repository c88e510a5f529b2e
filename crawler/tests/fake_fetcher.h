// A scripted page fetcher and a recording view for controller tests.
//
// Each URL the controller opens is looked up in the script: the fetcher
// raises the page's ShowState and SaveFile events in order, then reports
// whether the body arrived whole; SearchTag raises the page's GetTag events
// for the tag asked for. An unscripted URL is a fetch that gets nothing.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "crawler/crawl_view.h"
#include "crawler/page_fetcher.h"
#include "libs/url/web_url.h"
#include "platform/text/text.h"

namespace harbek::crawler::testing {

struct FakePage {
  // (fileName, bytes) as the fetcher would hand them over.
  std::vector<std::pair<std::u16string, std::string>> pieces;
  std::vector<std::u16string> states;
  // Tag name -> the TagDis texts of its elements.
  std::map<std::u16string, std::vector<std::u16string>> tags;
  bool complete = true;
  std::u16string status = u"200";
  std::u16string location;
  // Runs in the middle of the fetch, after the first piece (the fetcher pumps
  // the loop there, so user commands and signals arrive at that point).
  std::function<void()> during;
};

struct FakeScript {
  std::map<std::u16string, FakePage> pages;
  std::vector<std::u16string> opened;
  // "tag|pro|isEnd" for each SearchTag call.
  std::vector<std::u16string> scans;
  // The page being (or last) fetched; tests may set it to call handlers
  // directly.
  std::u16string currentUrl;
  bool cancelled = false;
  // What the controller last set for the requests.
  std::u16string userAgent;
  net::TlsOptions tls;
  // Fetching ahead: the count set, each list named, whether it was dropped,
  // and what the fetcher reports as under way.
  int connections = 1;
  std::vector<std::vector<std::u16string>> prefetched;
  bool prefetchesDropped = false;
  int inFlight = 0;
  std::u16string lastStarted;
};

// The host part the control reports: lower case, port kept (an https
// URL's default port left out).
inline std::u16string hostOf(const std::u16string& url) { return url::siteOf(url); }

class FakeFetcher : public PageFetcher {
 public:
  FakeFetcher(FakeScript& script, fetcher::HtmlEvents& owner) : script_(script), owner_(owner) {}

  std::u16string host() const override { return hostOf(script_.currentUrl); }
  std::u16string url() const override { return script_.currentUrl; }
  void clearHTMLcode() override {}
  com::HResult OpenUrl(const std::u16string& address) override {
    script_.opened.push_back(address);
    script_.currentUrl = address;
    script_.cancelled = false;
    complete_ = false;
    status_.clear();
    auto it = script_.pages.find(address);
    if (it == script_.pages.end()) return com::kOk;
    const FakePage& page = it->second;
    status_ = page.status;
    for (const auto& s : page.states) owner_.ShowState(s);
    bool first = true;
    for (const auto& [name, bytes] : page.pieces) {
      owner_.SaveFile(name, bytes, static_cast<int32_t>(bytes.size()));
      if (first && page.during) page.during();
      first = false;
      if (script_.cancelled) return com::kOk;
    }
    if (page.pieces.empty() && page.during) page.during();
    complete_ = page.complete && !script_.cancelled;
    return com::kOk;
  }
  bool lastFetchComplete() const override { return complete_; }
  std::u16string status() const override { return status_; }
  std::u16string location() const override {
    auto it = script_.pages.find(script_.currentUrl);
    return it == script_.pages.end() ? std::u16string() : it->second.location;
  }
  void setRequestOptions(const std::u16string& userAgent, const net::TlsOptions& tls) override {
    script_.userAgent = userAgent;
    script_.tls = tls;
  }
  com::HResult SearchTag(std::u16string_view TagName, std::u16string_view Pro, bool IsEndTag) override {
    script_.scans.push_back(std::u16string(TagName) + u"|" + std::u16string(Pro) + (IsEndTag ? u"|1" : u"|0"));
    auto it = script_.pages.find(script_.currentUrl);
    if (it == script_.pages.end()) return com::kOk;
    auto tag = it->second.tags.find(std::u16string(TagName));
    if (tag == it->second.tags.end()) return com::kOk;
    for (const auto& dis : tag->second) owner_.GetTag(tag->first, dis);
    return com::kOk;
  }
  void Cancel() override { script_.cancelled = true; }
  void setConnections(int connections, std::chrono::milliseconds) override { script_.connections = connections; }
  void prefetch(const std::vector<std::u16string>& addresses) override { script_.prefetched.push_back(addresses); }
  void dropPrefetches() override { script_.prefetchesDropped = true; }
  int inFlight() const override { return script_.inFlight; }
  std::u16string lastStarted() const override { return script_.lastStarted; }

 private:
  FakeScript& script_;
  fetcher::HtmlEvents& owner_;
  bool complete_ = false;
  std::u16string status_;
};

class RecordingView : public CrawlView {
 public:
  void panelChanged(int panel, const std::u16string& text) override { panels[panel - 1] = text; }
  void progressChanged(int32_t maximum, int32_t value) override { progress.emplace_back(maximum, value); }
  void trayChanged(TrayIcon icon, const std::u16string& tip) override {
    tray = icon;
    trayTip = tip;
  }
  void logged(const std::u16string& line, const std::u16string& log) override {
    lines.push_back(line);
    lastLog = log;
  }
  void timerEnabledChanged(bool enabled) override { timer = enabled; }
  // The queue as a window would mirror it, from the notifications alone.
  void queueChanged(const QueueChange& change, const CrawlQueue& queue) override {
    if (change.kind == QueueChange::Kind::kAppended) {
      mirror.insert(mirror.begin() + static_cast<std::ptrdiff_t>(change.index), queue.itemAt(change.index));
    } else {
      mirror.erase(mirror.begin() + static_cast<std::ptrdiff_t>(change.index));
    }
  }

  size_t count(const std::u16string& line) const {
    size_t n = 0;
    for (const auto& l : lines) n += l == line;
    return n;
  }

  std::u16string panels[4];
  std::vector<std::pair<int32_t, int32_t>> progress;
  TrayIcon tray = TrayIcon::kWindow;
  std::u16string trayTip;
  std::vector<std::u16string> lines;
  std::u16string lastLog;
  bool timer = false;
  std::vector<std::u16string> mirror;
};

}  // namespace harbek::crawler::testing
