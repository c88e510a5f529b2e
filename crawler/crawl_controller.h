// The crawl controller.
//
// The controller owns the queue, the two spill counters and the
// settings, and drives the page fetcher from a timer, one URL per step:
//   1. the store gets the save folder; an empty queue is refilled from the
//      next spill file and, failing that, with the site-list request;
//   2. a head that is saved already is logged and dropped;
//   3. otherwise it is fetched (SaveFile events append the body to its file)
//      and the page is scanned five times; every element found arrives as a
//      GetTag event, and same-host links not saved yet are queued;
//   4. the head is removed and the status bar updated.
// The fetcher pumps the event loop while it waits, so the timer, the events
// and user commands all run nested inside a step; a step never starts while
// another runs. Everything the main window shows goes to a CrawlView.
//
// Schemes and redirects: http and https URLs of one host are one site (the
// same-host test compares hosts, with their ports, whatever the scheme) and
// one saved file. A redirect (301, 302, 303, 307, 308) is neither saved nor
// scanned; its Location is a link found on the URL that redirected, so the
// same tests apply and the rule that a URL fetched in this run is not fetched
// again ends any cycle. A start address (one given with addUrl) that
// redirects to another site moves the crawl there.
//
// Letter case: links are queued as the scanner resolved them (host in lower
// case, path as written) so that requests keep the path's case, while the
// filters and the same-host test look at the lower-cased form, and files are
// saved and looked up under the lower-cased host and path.
//
// Ending: a crawl is done when the queue is empty, every spill file has been
// read (Rnum = Wnum), and there is no site-list address or the site-list
// request just fetched queued nothing. A fetch that ends without its whole
// body leaves no file behind, so the page is fetched again later.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "crawler/crawl_queue.h"
#include "crawler/crawl_scope.h"
#include "crawler/crawl_view.h"
#include "crawler/monitor_log.h"
#include "crawler/page_fetcher.h"
#include "crawler/settings.h"
#include "fetcher/link_finder.h"
#include "libs/url/web_url_interface.h"
#include "platform/event/event_loop.h"
#include "store/queue_journal.h"
#include "store/site_data.h"
#include "store/state_store.h"

namespace harbek::crawler {

// A page whose host contains this text is a directory page of the site-list
// service: all its links are queued, whatever their host.
inline constexpr char16_t kDirectoryDomain[] = u"sitelist.harbek.invalid";
// The help page that the "帮助" command opens.
inline constexpr char16_t kHelpPageUrl[] = u"http://help.harbek.invalid/forum/";

// What a run did, for its summary and its exit status.
struct CrawlCounts {
  int64_t filesSaved = 0;
  int64_t bytesSaved = 0;
  int64_t networkFailures = 0;  // no connection, a time-out, a reset, a response cut short
  int64_t serverErrors = 0;     // an answer with a 4xx or 5xx status
  int64_t writeFailures = 0;    // a file, the spill or the settings that could not be written
  // Links not followed, each counted once: same-site links with a query
  // (without QueryPages), and links to other sites.
  int64_t queryLinksSkipped = 0;
  int64_t otherSiteLinksSkipped = 0;
  int64_t outOfScope = 0;  // links and files a scope rule left out, each counted once
  // An update run: saved pages that came back changed, pages not saved
  // before, saved pages the server said were unchanged (304) or gone (404,
  // 410), and URLs given up.
  int64_t updateChanged = 0;
  int64_t updateNew = 0;
  int64_t updateUnchanged = 0;
  int64_t updateGone = 0;
  int64_t updateFailed = 0;
};

class CrawlController : public fetcher::HtmlEvents {
 public:
  // A queue above this many entries spills to disk.
  static constexpr size_t kQueueLimit = 10000;
  // Marks a queued requisite of another site, or one with a query (the
  // queue and its files keep it): it is saved, and its links are not
  // followed but for a style sheet's. A fragment, which no queued URL has
  // otherwise.
  static constexpr std::u16string_view kRequisiteMark = u"#harbek-requisite";
  // A head whose fetch fails this many times in a row is given up.
  static constexpr int kHeadAttempts = 3;

  // For one run, over what the settings say: the User-Agent (empty: the
  // settings'), no certificate checks, a file of trusted certificates.
  struct RequestOptions {
    std::u16string userAgent;
    bool noCheckCertificate = false;
    std::u16string caCertificate;
    bool queryPages = false;  // follow same-site links with a query, whatever the settings say
    bool pageRequisites = false;  // fetch a page's requisites from other sites too
    // The scope of the run; what is left unset here the settings give.
    ScopeRules scope = {};
    bool keepAlive = false;  // keep each connection for the next request to its host
    // Requests at once (1 to kMaxConnections); 0: the settings' Connections.
    int connections = 0;
  };

  struct Options {
    std::u16string iniPath;  // sys.ini
    // The settings file's folder (the user's configuration folder) is made
    // when the file is first written, not before.
    bool iniFolderMadeOnWrite = false;
    std::u16string directoryDomain = kDirectoryDomain;
    int intervalMs = 100;  // the crawl timer
    // Makes the fetcher; the controller is its owner. Null: the control html.
    std::function<std::unique_ptr<PageFetcher>(event::EventLoop&, fetcher::HtmlEvents&)> makeFetcher;
    RequestOptions request;
    // The run asks for the links of a finished copy to be converted
    // (--convert-links), whatever the settings say.
    bool convertLinks = false;
    // An update run (--update): every saved page reached from the start
    // addresses is asked for again, conditionally.
    bool update = false;
  };

  CrawlController(event::EventLoop& loop, CrawlView& view, Options options);
  ~CrawlController() override;
  CrawlController(const CrawlController&) = delete;
  CrawlController& operator=(const CrawlController&) = delete;

  // Start-up as the main window does it: tray tip "蜘蛛没有启动..", LoadConfig.
  void startUp();
  // The components the crawl loads (the URL rules, the text of elements)
  // can be made; otherwise false, with the reason naming the class and file.
  static bool componentsReady(std::string& why);

  void AddLog(const std::u16string& msg);
  void CrawlStep();
  void LoadConfig();
  void SaveConfig();

  // "运行": creates a missing save folder (and refuses to start when it
  // cannot, or when its tmp folder is someone else's), then enables the
  // timer. False when the crawl did not start.
  bool run();
  // True when the last start was refused for a tmp folder the program did
  // not make (see SiteData::claimSpillFolder).
  bool spillFolderRefused() const { return spillFolderRefused_; }
  // "更新网站" (--update): from now on the crawl is an update run, started
  // again from the start addresses given in this run; then as "运行".
  bool startUpdate();
  // "停止": disables the timer; the queue is kept.
  void pause();
  // The tray menu's "开始" and "暂停": as "运行" and "停止", but only the
  // tray picture changes, not its tip.
  bool trayStart();
  void trayPause();
  // Appends an address typed by the user (spaces around it dropped; a bare
  // host name is taken as http://). False when nothing is left to queue.
  bool addUrl(const std::u16string& address);
  // The save folder for this run, set in memory only: sys.ini keeps its
  // folder until the next SaveConfig, which writes the folder together with
  // the spill counters that belong to it. Refused (false, the reason logged
  // and in why) while spill files of the copy wait in the current folder:
  // the next refill would look for them in the new one, and their queue
  // would be lost. Inside a step the change takes effect when it ends.
  bool setSaveFolder(const std::u16string& dbpath, std::u16string* why = nullptr);
  // The folder a run saves into when the settings name none (the terminal
  // takes the current folder); it is not written to the settings.
  void setDefaultSaveFolder(const std::u16string& folder) {
    defaultSaveFolder_ = folder;
    useSaveFolder();
  }
  const std::u16string& savePath() const { return settings_.dbpath.empty() ? defaultSaveFolder_ : settings_.dbpath; }
  // "帮助"
  void help();
  // The settings window's "=保存=": false, with nothing changed and the
  // reason in why, when the save folder may not change now (setSaveFolder).
  bool saveSettingsWindow(const std::u16string& dbpath, const std::u16string& siteListUrl,
                          std::u16string* why = nullptr);
  // The settings window's request fields, saved with the next SaveConfig.
  void setRequestSettings(const std::u16string& userAgent, bool noCheckCertificate,
                          const std::u16string& caCertificate);

  // Closing the main window: spills a non-empty queue and saves the
  // settings. Inside a step the fetch is cancelled first and the close runs
  // when the step has unwound; onClosed is then called.
  void requestClose(std::function<void()> onClosed);
  // The tray's "退出": the crawl stops at once (a fetch in progress is
  // cancelled) and nothing is spilled or saved; the tray icon goes.
  void quitNow();
  // Called when a crawl ends by itself.
  void setFinishedHandler(std::function<void()> onFinished) { onFinished_ = std::move(onFinished); }

  // Whether the copy's links are converted now that the crawl is over: it
  // ended by itself with nothing left queued (an interrupted crawl is resumed
  // later, and its pages stay as served until the copy is whole), and the
  // run or the settings ask for it. The view that shows the crawl converts.
  bool convertLinksDue() const { return crawlDone_ && (options_.convertLinks || settings_.ConvertLinks); }
  const CrawlCounts& counts() const { return counts_; }
  bool updating() const { return options_.update; }
  // "更新完成: 改变 ..., 新增 ..., 未改变 ..., 已删除 ..., 失败 ..."
  std::u16string updateSummary() const;
  // Something is queued, spilled or to be asked of the site list.
  bool hasWork() const {
    return !queue_.empty() || settings_.Rnum != settings_.Wnum || !settings_.SiteListUrl.empty();
  }
  CrawlQueue& queue() { return queue_; }
  Settings& settings() { return settings_; }
  const MonitorLog& log() const { return log_; }
  store::SiteData& site() { return site_; }
  bool timerEnabled() const { return timerEnabled_; }
  // The files saved whole in this run (host/path under the save folder, in
  // saving order), for the work done on them when the crawl ends.
  const std::vector<std::u16string>& savedThisRun() const { return savedThisRun_; }
  const std::u16string& panel(int n) const { return panels_[n - 1]; }

  // The fetcher's events.
  void SaveFile(const std::u16string& fileName, const fetcher::Bytes& Data, int32_t CurrLen) override;
  void tagProgress(int32_t CurrLen, int32_t allLen) override;
  void ShowState(const std::u16string& State) override;
  void GetTag(const std::u16string& TagName, const std::u16string& TagDis) override;

 private:
  bool makeSaveFolder();
  void useSaveFolder();
  void spillQueueTail();
  bool spillNumberFree();
  void refillQueue();
  void dropSavedHeads();
  bool fetchAndScan(const std::u16string& head);
  com::HResult scanLinks();
  bool keepFailingHead(const std::u16string& u, com::HResult h);
  void endStep(bool keepHead, bool headIsSiteListRequest);
  bool startTimer(std::u16string tip);
  static std::u16string fetchedUrl(std::u16string_view entry, int32_t* depth = nullptr);
  bool alreadyFetched(const std::u16string& u);
  bool isSaved(const std::u16string& u);
  bool isDirectoryPage();
  int connections() const;
  std::chrono::milliseconds stepInterval() const;
  void prefetchAhead();
  bool followsQueryPages() const { return options_.request.queryPages || settings_.QueryPages; }
  bool fetchesPageRequisites() const { return options_.request.pageRequisites || settings_.PageRequisites; }
  void queueMoreLinks(const std::vector<fetcher::FoundLink>& links, const std::u16string& base);
  void countSkipped(std::unordered_set<size_t>& seen, int64_t& count, const std::u16string& link);
  // A link found on the current page; a requisite is part of the page (an
  // image, a style sheet ...), anything else a page of its own.
  void queueLink(const std::u16string& link, bool anySite = false, bool requisite = false);
  void followRedirect(const std::u16string& from);
  ScopeRules scopeRules() const;
  bool inScope(const std::u16string& link, bool requisite);
  void tellOutOfScope(const std::u16string& link, const std::u16string& rule);
  void fetchRobots(const std::u16string& u);
  void restartTimer();
  void commitState(bool now);
  void openStateStore();
  bool revalidated(const std::u16string& head, const std::u16string& u, const store::StateStore::Entry& known,
                   com::HResult h);
  void rememberFailure(const std::u16string& u, const std::u16string& why);
  void applyRequestOptions();
  std::u16string siteListRequest() const;
  void setPanel(int n, std::u16string text);
  void setTimerEnabled(bool enabled);
  void setTray(TrayIcon icon, std::u16string tip);
  void showQueueLength();
  void finish();
  void skipMissingSpillFile();
  void closeNow();
  void discardPartialFile();
  bool clearSpillFolder();
  com::HResult webUrl(url::IWebUrl** out);
  bool isSiteListRequest(const std::u16string& u) const;
  bool answeredWithPage();
  void warn(const std::u16string& msg);
  bool recoverQueue();
  void snapshotQueue();
  void writeJournal(bool sync);
  void journalFailed(fs::Error e);
  void keepSavedFile();
  void saveFailed(fs::Error e);
  void journalQueueChange(const QueueChange& change);
  PageFetcher& fetcher();

  event::EventLoop& loop_;
  CrawlView& view_;
  Options options_;
  std::unique_ptr<PageFetcher> fetcher_;
  store::SiteData site_;
  com::ComPtr<url::IWebUrl> webUrl_;

  CrawlQueue queue_;
  Settings settings_;
  MonitorLog log_;
  std::u16string panels_[4];
  // Heads settled so far (fetched, or given up), shown in panel 3.
  int64_t fetchCount_ = 0;
  std::u16string trayTip_;
  int32_t progressMax_ = 100;
  int32_t progressValue_ = 0;

  event::TimerId timer_ = 0;
  bool timerEnabled_ = false;
  bool inStep_ = false;
  bool closing_ = false;
  bool closed_ = false;
  bool crawlDone_ = false;  // the crawl ended by itself, with nothing left
  std::function<void()> onClosed_;
  std::function<void()> onFinished_;

  // The running fetch was queued with kRequisiteMark.
  bool fetchingRequisite_ = false;
  // The file the running fetch appends to (host and path), if any.
  std::u16string savingTo_;
  // The head that failed last, and how often in a row.
  std::u16string failingHead_;
  // Lower-cased URLs fetched whole in this run.
  std::unordered_set<std::u16string> fetchedThisRun_;
  // Hashes of the URLs found saved in this run.
  std::unordered_set<size_t> foundSaved_;
  // Hashes of the links counted as skipped, by rule.
  std::unordered_set<size_t> skippedQueryLinks_;
  std::unordered_set<size_t> skippedOtherSiteLinks_;
  // The files saved in this run, relative to the save folder.
  std::vector<std::u16string> savedThisRun_;
  int failures_ = 0;
  // Lower-cased addresses the user gave, and where their redirects led: a
  // redirect from one of them to another site moves the crawl there.
  std::unordered_set<std::u16string> startAddresses_;
  std::vector<std::u16string> startList_;  // the addresses as given, in order

  // The journal of the queue, kept in the spill folder of journalFolder_
  // (empty until the crawl first starts).
  store::QueueJournal journal_;
  std::u16string journalFolder_;
  bool journalWarned_ = false;
  bool queueSpilled_ = false;  // items left the queue's end: a snapshot is due
  bool spillFailed_ = false;
  // A spill of the queue's tail failed in this step: no other is tried
  // before the next one. spillWarned_: the failure has been told.
  bool spillRefused_ = false;
  bool spillWarned_ = false;
  bool inSpill_ = false;
  // A save folder chosen during a step, taken when the step ends.
  std::optional<std::u16string> pendingSaveFolder_;
  bool spillFolderRefused_ = false;
  profile::ProfileError settingsSaved_ = profile::ProfileError::kNone;
  bool settingsWarned_ = false;
  // The running fetch's body could not be written.
  bool saveFailed_ = false;
  // A failure of the disk itself (full, read-only): the crawl stops.
  bool diskFailed_ = false;
  CrawlCounts counts_;
  std::u16string defaultSaveFolder_;
  int64_t bodyBytes_ = 0;  // of the running fetch
  CrawlScope scope_;
  int32_t headDepth_ = 0;  // of the head being fetched
  int32_t linkDepth_ = 1;  // of the links found on it
  bool fetchingRobots_ = false;
  std::string robotsBody_;
  bool tooLarge_ = false;  // the running fetch's body is above the size limit
  // The copy's state (validators, failures) in the save folder of
  // journalFolder_; the last status text of the fetcher, a failure's reason.
  store::StateStore state_;
  bool stateWarned_ = false;
  std::chrono::steady_clock::time_point stateCommitted_;
  std::u16string lastState_;
  bool updateHadFile_ = false;  // the running fetch's URL was saved before
  std::unordered_set<std::u16string> queuedForUpdate_;  // lower-cased links an update queued
  std::unordered_set<std::u16string> updatedFiles_;     // saved files an update asked for again
};

}  // namespace harbek::crawler
