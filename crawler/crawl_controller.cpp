#include "crawler/crawl_controller.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "libs/text/totextor_interface.h"
#include "libs/url/fetch_url.h"
#include "libs/url/web_url.h"
#include "platform/component/runtime.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "store/local_name.h"

#include <unistd.h>

namespace harbek::crawler {
namespace {

using namespace std::chrono_literals;

std::vector<std::u16string> splitFields(const std::u16string& s) {
  std::vector<std::u16string> out;
  for (size_t start = 0;;) {
    size_t comma = s.find(u',', start);
    out.push_back(s.substr(start, comma == std::u16string::npos ? comma : comma - start));
    if (comma == std::u16string::npos) return out;
    start = comma + 1;
  }
}

std::u16string reason(fs::Error e) { return text::fromUtf8(std::string(fs::errorName(e))); }
std::u16string reason(profile::ProfileError e) { return text::fromUtf8(profile::errorName(e)); }

}  // namespace

CrawlController::CrawlController(event::EventLoop& loop, CrawlView& view, Options options)
    : loop_(loop), view_(view), options_(std::move(options)) {
  queue_.setObserver([this](const QueueChange& change) {
    journalQueueChange(change);
    view_.queueChanged(change, queue_);
  });
}

CrawlController::~CrawlController() {
  if (timer_) loop_.cancelTimer(timer_);
}

PageFetcher& CrawlController::fetcher() {
  if (!fetcher_) {
    fetcher_ = options_.makeFetcher ? options_.makeFetcher(loop_, *this)
                                  : std::make_unique<HtmlFetcher>(loop_, *this);
  }
  return *fetcher_;
}

com::HResult CrawlController::webUrl(url::IWebUrl** out) {
  if (!webUrl_) {
    com::HResult h = com::create(url::kVornetClsid, webUrl_);
    if (com::failed(h)) return h;
  }
  *out = webUrl_.get();
  return com::kOk;
}

bool CrawlController::componentsReady(std::string& why) {
  com::ComPtr<url::IWebUrl> web;
  com::ComPtr<textor::ITotextor> textor;
  return com::succeeded(com::create(url::kVornetClsid, web, &why)) &&
         com::succeeded(com::create(textor::kTotextorClsid, textor, &why));
}

void CrawlController::startUp() {
  setTray(TrayIcon::kWindow, u"蜘蛛没有启动..");
  LoadConfig();
}

void CrawlController::AddLog(const std::u16string& msg) {
  log_.log(msg);
  view_.logged(msg, log_.text());
}

void CrawlController::LoadConfig() {
  if (profile::ProfileError e = loadSettings(options_.iniPath, settings_); e != profile::ProfileError::kNone) {
    // Named with the reason the file cannot be read (permission denied...).
    const fs::Error why = fs::readable(text::toUtf8(options_.iniPath));
    warn(u"无法读取系统配置文件: cannot read " + options_.iniPath + u": " +
         (why != fs::Error::kOk ? reason(why) : reason(e)));
  } else {
    AddLog(u"读取系统配置文件成功!");
  }
  if (profile::ProfileError e = settingsWritable(options_.iniPath, options_.iniFolderMadeOnWrite);
      e != profile::ProfileError::kNone) {
    settingsSaved_ = e;
    settingsWarned_ = true;
    warn(u"无法写入系统配置文件:" + options_.iniPath + u" (" + reason(e) + u")");
  }
  useSaveFolder();
}

void CrawlController::SaveConfig() {
  if (options_.iniFolderMadeOnWrite) {
    const std::string file = text::toUtf8(options_.iniPath);
    (void)fs::createFolders(file.substr(0, file.rfind('/')));  // a folder that cannot be made fails the save below
  }
  settingsSaved_ = saveSettings(options_.iniPath, settings_);
  // Reported once per run: the crawl goes on, and the journal and the spill
  // files keep what the settings could not.
  if (settingsSaved_ != profile::ProfileError::kNone && !settingsWarned_) {
    settingsWarned_ = true;
    warn(u"无法写入系统配置文件:" + options_.iniPath + u" (" + reason(settingsSaved_) + u")");
  }
}

void CrawlController::warn(const std::u16string& msg) {
  AddLog(msg);
  view_.warned(msg);
}

// A crawl starts only when its save folder is there or can be made; a queue
// closed before any crawl started needs it too, for its spill file.
bool CrawlController::makeSaveFolder() {
  return savePath().empty() || fs::createFolders(text::toUtf8(savePath())) == fs::Error::kOk;
}

bool CrawlController::startTimer(std::u16string tip) {
  // Inside a step (a command while the fetcher waits) the store and the
  // journal are the step's: only the tray and the timer change.
  if (!inStep_) {
    if (!makeSaveFolder()) {
      AddLog(u"无法创建保存目录,蜘蛛没有启动:" + savePath());
      return false;
    }
    useSaveFolder();
    if (!recoverQueue()) return false;
  }
  setTray(TrayIcon::kRunning, std::move(tip));
  setTimerEnabled(true);
  return true;
}

bool CrawlController::run() { return startTimer(u"蜘蛛已经启动.."); }

bool CrawlController::startUpdate() {
  if (inStep_) return false;
  options_.update = true;
  // What this run fetched or found saved is asked for again.
  fetchedThisRun_.clear();
  foundSaved_.clear();
  queuedForUpdate_.clear();
  updatedFiles_.clear();
  counts_.updateChanged = counts_.updateNew = counts_.updateUnchanged = counts_.updateGone = counts_.updateFailed = 0;
  crawlDone_ = false;
  for (const std::u16string& a : startList_) {
    queuedForUpdate_.insert(text::toLower(a));
    queue_.append(a);
  }
  showQueueLength();
  AddLog(u"更新网站");
  return run();
}

// The first start in a save folder: a journal left there means the last run
// was cut short; its queue goes before what was queued since, its counters
// hold, and the step it was in is done again. Spill files that no counter
// covers are read as well. A tmp folder that is not the program's (a user's
// own ~/tmp when the copy goes to the home folder) stops the crawl before it
// starts: nothing there is read, changed or removed.
bool CrawlController::recoverQueue() {
  if (journalFolder_ == site_.SavePath() && !journalFolder_.empty()) return true;
  site_.ClearTmp();
  const std::string tmp = site_.spillFolder();
  spillFolderRefused_ = !site_.claimSpillFolder(settings_.Wnum) && fs::isFolder(tmp);
  if (spillFolderRefused_) {
    warn(u"保存目录中的tmp文件夹不是本程序的,蜘蛛没有启动: " + text::fromUtf8(tmp) +
         u" holds files harbek did not write, and harbek leaves them alone; choose another save folder "
         u"(--save-dir FOLDER, or \"配置\" in the window) or move that folder away");
    return false;
  }
  journalFolder_ = site_.SavePath();
  foundSaved_.clear();  // another save folder
  site_.rememberMissing(true);  // the crawl is the copy's writer from now on
  journal_.open(tmp);
  site_.removeSpillLeftovers();
  if (std::optional<store::QueueJournal::State> last = journal_.replay()) {
    if (!last->inFlightFile.empty()) site_.discardPartial(last->inFlightFile);
    std::vector<std::u16string> queue = std::move(last->queue);
    if (!last->inFlightUrl.empty()) {
      // Its page may be saved while its links never reached the journal.
      if (!last->inFlightFile.empty()) {
        site_.removeFileByUrl(last->inFlightFile);
        foundSaved_.clear();
      }
      queue.insert(queue.begin(), last->inFlightUrl);
    }
    queue_.prepend(queue);
    // A power cut can leave a partial file the journal does not name.
    std::vector<std::u16string> sites;
    for (const std::u16string& u : queue) sites.push_back(url::siteOf(u));
    site_.removePartialFiles(sites);
    settings_.Rnum = last->Rnum;
    settings_.Wnum = last->Wnum;
    if (!queue.empty()) AddLog(u"上次运行被中断,恢复队列:" + text::widen(std::to_string(queue.size())));
  }
  settings_.Wnum = std::max(settings_.Wnum, site_.nextSpillNumber());
  if (settings_.Rnum > settings_.Wnum) settings_.Rnum = settings_.Wnum;
  openStateStore();
  snapshotQueue();
  showQueueLength();
  return true;
}

void CrawlController::snapshotQueue() {
  if (journalFolder_.empty()) return;
  if (fs::Error e = journal_.snapshot(queue_, settings_.Rnum, settings_.Wnum); e != fs::Error::kOk) {
    journalFailed(e);
  }
}

void CrawlController::journalFailed(fs::Error e) {
  if (journalWarned_) return;
  journalWarned_ = true;
  // In a save folder that takes no writes the spill folder could not be
  // made: the journal is missing for the reason the pages cannot be saved.
  if (e == fs::Error::kNotFound && fs::missing(site_.spillFolder()) && fs::isReadOnly(text::toUtf8(site_.SavePath()))) {
    e = fs::Error::kDenied;
  }
  warn(u"无法写入队列日志:" + text::fromUtf8(journal_.path()) + u" (" + reason(e) + u")");
}

void CrawlController::writeJournal(bool sync) {
  if (journalFolder_.empty()) return;
  if (journal_.snapshotDue()) {
    snapshotQueue();
  } else if (fs::Error e = journal_.write(sync); e != fs::Error::kOk) {
    journalFailed(e);
  }
}

void CrawlController::journalQueueChange(const QueueChange& change) {
  if (journalFolder_.empty()) return;
  switch (change.kind) {
    case QueueChange::Kind::kAppended:
      journal_.appended(queue_.itemAt(change.index));
      break;
    case QueueChange::Kind::kRemoved:
      if (change.index == 0) {
        journal_.headRemoved();
      } else {
        queueSpilled_ = true;  // only spills take items off the end: a snapshot follows
      }
      break;
    case QueueChange::Kind::kInserted:
      queueSpilled_ = true;  // a replayed queue: the snapshot that follows holds it
      break;
  }
}

void CrawlController::pause() {
  setTray(TrayIcon::kPaused, u"蜘蛛已暂停..");
  setTimerEnabled(false);
}

bool CrawlController::trayStart() { return startTimer(trayTip_); }

void CrawlController::trayPause() {
  setTray(TrayIcon::kPaused, trayTip_);
  setTimerEnabled(false);
}

bool CrawlController::addUrl(const std::u16string& address) {
  size_t b = address.find_first_not_of(u" \t\r\n");
  if (b == std::u16string::npos) return false;
  std::u16string u = address.substr(b, address.find_last_not_of(u" \t\r\n") - b + 1);
  if (u.find(u"://") == std::u16string::npos) u = u"http://" + u;
  // Requested as a browser would: dot segments resolved, non-ASCII escaped.
  if (std::u16string canonical = url::crawlForm(u); !canonical.empty()) u = std::move(canonical);
  startAddresses_.insert(text::toLower(u));
  if (std::find(startList_.begin(), startList_.end(), u) == startList_.end()) startList_.push_back(u);
  queue_.append(std::move(u));
  showQueueLength();
  return true;
}

void CrawlController::help() {
  url::IWebUrl* web = nullptr;
  int32_t ignored = 0;
  if (com::succeeded(webUrl(&web))) web->GotoURL(kHelpPageUrl, &ignored);
}

bool CrawlController::saveSettingsWindow(const std::u16string& dbpath, const std::u16string& siteListUrl,
                                 std::u16string* why) {
  if (!setSaveFolder(dbpath, why)) return false;
  settings_.SiteListUrl = siteListUrl;
  // Inside a step the settings file is written when the new folder is taken.
  if (!pendingSaveFolder_) SaveConfig();
  return true;
}

// The save folder has one owner, the settings in memory; the store is
// pointed at it here only, whenever it changes and at the start of a step,
// never from inside the fetcher's events.
void CrawlController::useSaveFolder() { site_.setSavePath(savePath()); }

bool CrawlController::setSaveFolder(const std::u16string& dbpath, std::u16string* why) {
  if (dbpath == settings_.dbpath && !pendingSaveFolder_) return true;
  if (settings_.Rnum != settings_.Wnum) {
    const std::u16string reason = u"队列还有未读回的记录保存在" + savePath() + u",本次抓取完成后才能更改保存目录";
    warn(reason);
    if (why) *why = reason;
    return false;
  }
  if (inStep_) {
    pendingSaveFolder_ = dbpath;
    return true;
  }
  settings_.dbpath = dbpath;
  useSaveFolder();
  if (!journalFolder_.empty()) {
    // A running copy moves on with its queue: the journal follows it to the
    // new folder.
    journal_.remove();
    makeSaveFolder();
    useSaveFolder();
    recoverQueue();
  }
  return true;
}

void CrawlController::setRequestSettings(const std::u16string& userAgent, bool noCheckCertificate,
                                 const std::u16string& caCertificate) {
  settings_.UserAgent = userAgent;
  settings_.NoCheckCertificate = noCheckCertificate;
  settings_.CaCertificate = caCertificate;
}

// The run's options win over the settings; set before every fetch, so a
// change in the settings window holds from the next page on.
void CrawlController::applyRequestOptions() {
  const RequestOptions& run = options_.request;
  net::TlsOptions tls;
  tls.verify = !(run.noCheckCertificate || settings_.NoCheckCertificate);
  tls.caFile = text::toUtf8(run.caCertificate.empty() ? settings_.CaCertificate : run.caCertificate);
  fetcher().setRequestOptions(run.userAgent.empty() ? settings_.UserAgent : run.userAgent, tls);
  fetcher().setKeepAlive(run.keepAlive || connections() > 1);
  scope_.setRules(scopeRules());
  fetcher().setConnections(connections(), std::chrono::milliseconds(std::max(options_.intervalMs, scope_.crawlDelayMs())));
}

int CrawlController::connections() const {
  return std::clamp(options_.request.connections > 0 ? options_.request.connections : settings_.Connections, 1,
                    kMaxConnections);
}

// With one connection the timer spaces the fetches (--interval, a robots
// Crawl-delay); with more, the fetcher spaces the requests to each site, and
// a step follows the last one at once.
std::chrono::milliseconds CrawlController::stepInterval() const {
  if (connections() > 1) return std::chrono::milliseconds(0);
  return std::chrono::milliseconds(std::max(options_.intervalMs, scope_.crawlDelayMs()));
}

// With more than one connection the queue's next URLs are asked for ahead of
// their turn (see fetcher/prefetcher.h): from the head on, those the step
// would fetch as they are, one per connection. Pages are still settled one
// by one in queue order, so the links found join the queue in the order they
// would with one connection, and the copy is the same whatever the count.
// An update run asks with each copy's validators and fetches nothing ahead.
void CrawlController::prefetchAhead() {
  if (options_.update) return;
  const size_t wanted = static_cast<size_t>(connections());
  const size_t look = std::min(queue_.count(), wanted * 4);
  std::vector<std::u16string> next;
  std::unordered_set<std::u16string> seen;
  for (size_t i = 0; i < look && next.size() < wanted; ++i) {
    const std::u16string entry = queue_.itemAt(i);
    if (isSiteListRequest(entry) || alreadyFetched(entry)) continue;
    const std::u16string u = fetchedUrl(entry);
    const std::u16string site = url::siteOf(u);
    if (text::contains(site, options_.directoryDomain)) continue;
    if (scope_.rules().robots && (scope_.robotsWanted(site) || !scope_.robotsExcluded(site, u).empty())) continue;
    if (seen.insert(text::toLower(u)).second) next.push_back(u);
  }
  fetcher().prefetch(next);
}

std::u16string CrawlController::siteListRequest() const {
  return settings_.SiteListUrl + u"?username=" + settings_.username;
}

// The URL a queue entry fetches: without its requisite mark and its depth.
std::u16string CrawlController::fetchedUrl(std::u16string_view entry, int32_t* depth) {
  if (entry.ends_with(kRequisiteMark)) entry.remove_suffix(kRequisiteMark.size());
  return CrawlScope::stripDepth(entry, depth);
}

bool CrawlController::alreadyFetched(const std::u16string& u) {
  // A page fetched whole in this run is not fetched again even when it could
  // not be saved (a name the file system refuses, say): otherwise a site
  // whose pages link to each other would be crawled for ever. The site-list
  // request is the exception: it is asked again whenever the queue runs dry.
  const std::u16string url = fetchedUrl(u);
  if (!options_.update && isSaved(url)) return true;
  return fetchedThisRun_.contains(text::toLower(url)) && !isSiteListRequest(u);
}

// A URL found saved is not looked up on the disk again in this run: pages
// link to the pages saved already far more often than to new ones. Only the
// program's own removal of a file makes it unsaved again.
bool CrawlController::isSaved(const std::u16string& u) {
  const size_t key = std::hash<std::u16string>()(u);
  if (foundSaved_.contains(key)) return true;
  if (!site_.isExsitUrl(u, false)) return false;
  foundSaved_.insert(key);
  return true;
}

// The response so far is a page (2xx), or no header has come yet.
bool CrawlController::answeredWithPage() {
  const std::u16string status = fetcher().status();
  return status.empty() || status.front() == u'2';
}

bool CrawlController::isSiteListRequest(const std::u16string& u) const {
  return !settings_.SiteListUrl.empty() && u == siteListRequest();
}

bool CrawlController::isDirectoryPage() { return text::contains(fetcher().host(), options_.directoryDomain); }

// One timer expiry: refill an empty queue, drop the heads saved already,
// fetch and scan the head, then settle it (removed, or kept for another try).
void CrawlController::CrawlStep() {
  if (inStep_ || closed_) return;
  inStep_ = true;
  useSaveFolder();
  if (queue_.empty()) refillQueue();
  dropSavedHeads();
  bool keepHead = false;
  bool headIsSiteListRequest = false;
  if (!queue_.empty()) {
    const std::u16string u = queue_.head();
    headIsSiteListRequest = isSiteListRequest(u);
    keepHead = fetchAndScan(u);
    if (!keepHead) setPanel(3, text::widen(std::to_string(++fetchCount_)));
  }
  endStep(keepHead, headIsSiteListRequest);
}

// The next spill file joins the queue; with nothing spilled, the site list
// is asked for more.
void CrawlController::refillQueue() {
  const int32_t reading = settings_.Rnum;
  site_.LoadList(queue_, settings_.Rnum);
  if (settings_.Rnum == reading) skipMissingSpillFile();
  SaveConfig();
  snapshotQueue();
  if (queue_.empty() && !settings_.SiteListUrl.empty()) queue_.append(siteListRequest());
}

// A head that is saved already costs no fetch: such heads are logged and
// dropped in one go, so a queue full of repeats does not take a timer tick
// for each of them.
void CrawlController::dropSavedHeads() {
  while (!queue_.empty() && alreadyFetched(queue_.head())) {
    AddLog(u"文件存在,不再请求");
    queue_.removeAt(0);
    showQueueLength();
  }
}

// Fetches the head, keeps or discards its file and, for a page, collects its
// links. True when the head stays queued for another try.
bool CrawlController::fetchAndScan(const std::u16string& head) {
  fetchingRequisite_ = head.ends_with(kRequisiteMark);
  const std::u16string u = fetchedUrl(head, &headDepth_);
  linkDepth_ = headDepth_ + 1;
  applyRequestOptions();
  if (connections() > 1) prefetchAhead();
  if (!isDirectoryPage() && scope_.rules().robots) {
    fetchRobots(u);
    if (closing_) return true;
    if (const std::u16string rule = scope_.robotsExcluded(url::siteOf(u), u); !rule.empty()) {
      tellOutOfScope(u, rule);
      return false;
    }
  }
  fetcher().clearHTMLcode();
  savingTo_.clear();
  saveFailed_ = false;
  tooLarge_ = false;
  bodyBytes_ = 0;
  if (!journalFolder_.empty()) journal_.fetching(scope_.queued(u, headDepth_));
  // An update asks for a saved copy again with the validators it was saved
  // with; a copy without them (an older harbek's) is simply fetched again.
  std::optional<store::StateStore::Entry> known;
  const std::optional<std::u16string> savedAs = options_.update ? store::savedNameIn(savePath(), u) : std::nullopt;
  updateHadFile_ = savedAs.has_value();
  if (updateHadFile_) {
    known = state_.find(text::toUtf8(u));
    if (!known || known->file != text::toUtf8(*savedAs)) known = state_.findByFile(text::toUtf8(*savedAs));
    // One file reached by two URLs ("/" and "/index.html") is asked for once.
    if (!updatedFiles_.insert(*savedAs).second) {
      AddLog(u"文件存在,不再请求");
      fetchedThisRun_.insert(text::toLower(u));
      return false;
    }
  }
  fetcher().setConditions(known ? text::fromUtf8(known->etag) : u"", known ? text::fromUtf8(known->lastModified) : u"");
  com::HResult h = fetcher().OpenUrl(u);
  fetcher().setConditions(u"", u"");
  if (known && fetcher().status() == u"304" && fetcher().lastFetchComplete()) return revalidated(head, u, *known, h);
  const bool whole = fetcher().lastFetchComplete() && !saveFailed_;
  if (whole) keepSavedFile();
  // A page whose file the system refuses (a name too long, say) is not
  // fetched again in this run either.
  if (whole || (saveFailed_ && !diskFailed_)) fetchedThisRun_.insert(text::toLower(u));
  if (!whole || saveFailed_) discardPartialFile();
  if (tooLarge_) return false;  // left out by the size limit, not asked for again
  const bool cancelledByClose = closing_ && !fetcher().lastFetchComplete();
  // An error page or a redirect is not the page: neither saved nor
  // scanned, and not asked for again in this run.
  const bool errorStatus = !fetcher().status().empty() && !answeredWithPage();
  if (errorStatus) {
    AddLog(u"服务器返回状态" + fetcher().status() + u",不保存:" + u);
    fetchedThisRun_.insert(text::toLower(u));
    const bool gone = updateHadFile_ && (fetcher().status() == u"404" || fetcher().status() == u"410");
    if (gone) {
      // The server no longer has it; the copy keeps its file.
      ++counts_.updateGone;
      AddLog(u"服务器上已不存在,保留旧文件:" + u);
    } else if (fetcher().status().front() >= u'4') {
      ++counts_.serverErrors;
    }
    if (fetcher().status().front() == u'5') rememberFailure(head, u"HTTP " + fetcher().status());
    if (!cancelledByClose) followRedirect(u);
  } else if (!fetcher().lastFetchComplete() && !cancelledByClose && !saveFailed_ && com::succeeded(h)) {
    ++counts_.networkFailures;
  }
  if (com::succeeded(h) && !cancelledByClose && !errorStatus) h = scanLinks();
  if (cancelledByClose || diskFailed_) return true;  // spilled with the queue (or journalled), fetched again next time
  return keepFailingHead(head, h);
}

// The links of a fetched page: its elements and style first read in one
// pass (which finds its <base> too), then the five scans, then the links
// only that pass found. A style sheet gives its url()s and @imports; a page
// of another site, fetched as a requisite, gives nothing.
com::HResult CrawlController::scanLinks() {
  static constexpr struct {
    const char16_t* tag;
    const char16_t* pro;
    bool isEnd;
  } kScans[] = {{u"a", u"href,innerhtml", true},
                {u"link", u"href,innerhtml", false},
                {u"img", u"src,innerhtml", false},
                {u"script", u"src,innerhtml", true},
                {u"iframe", u"src,innerhtml", true}};
  const std::u16string url = fetcher().url();
  if (fetcher().styleSheet()) {
    queueMoreLinks(fetcher::findCssLinks(fetcher().pageText()), url);
    return com::kOk;
  }
  if (fetchingRequisite_) return com::kOk;  // a requisite's links are not followed
  const std::vector<fetcher::FoundLink> more = fetcher::findHtmlLinks(fetcher().pageText());
  std::u16string base = url;
  for (const fetcher::FoundLink& link : more) {
    if (link.role != fetcher::LinkRole::kBase) continue;
    const std::u16string resolved = url::crawlLink(url, fetcher::linkValue(fetcher().pageText(), link));
    if (url::FetchUrl::parse(resolved)) base = resolved;
    break;  // the first <base> counts
  }
  if (base != url) fetcher().setLinkBase(base);
  com::HResult h = com::kOk;
  for (const auto& scan : kScans) {
    h = fetcher().SearchTag(scan.tag, scan.pro, scan.isEnd);
    if (com::failed(h)) return h;
  }
  queueMoreLinks(more, base);
  return h;
}

// The links of the page but those of the five scans, resolved against
// base, in page order.
void CrawlController::queueMoreLinks(const std::vector<fetcher::FoundLink>& links, const std::u16string& base) {
  const text::Charset charset = fetcher().pageCharset();
  for (const fetcher::FoundLink& found : links) {
    if (found.role == fetcher::LinkRole::kBase || found.classic) continue;
    const std::u16string link = url::crawlLink(base, fetcher::linkValue(fetcher().pageText(), found), charset);
    if (link.empty() || !url::FetchUrl::parse(link)) continue;
    queueLink(link, false, found.role == fetcher::LinkRole::kRequisite);
  }
}

// A failed head stays for the next expiry, but a URL that can never be
// fetched (a port out of range, say) must not hold the crawl for ever.
bool CrawlController::keepFailingHead(const std::u16string& u, com::HResult h) {
  if (com::succeeded(h)) {
    failures_ = 0;
    failingHead_.clear();
    return false;
  }
  failures_ = failingHead_ == u ? failures_ + 1 : 1;
  failingHead_ = u;
  if (failures_ < kHeadAttempts) return true;
  AddLog(u"多次请求失败,放弃:" + u);
  ++counts_.networkFailures;
  rememberFailure(u, lastState_);
  return false;
}

// Removes a settled head, brings the journal up to date and ends the crawl
// when nothing is left anywhere (or the disk refuses every write).
void CrawlController::endStep(bool keepHead, bool headIsSiteListRequest) {
  if (!keepHead && !queue_.empty()) {
    queue_.removeAt(0);
    showQueueLength();
  }
  // The step's links and the head's removal reach the journal before the
  // step counts as ended there.
  if (queueSpilled_) {
    queueSpilled_ = false;
    snapshotQueue();
  }
  if (!journalFolder_.empty()) journal_.settled();
  writeJournal(false);
  commitState(false);
  const bool done = queue_.empty() && settings_.Rnum == settings_.Wnum &&
                    (settings_.SiteListUrl.empty() || headIsSiteListRequest);
  inStep_ = false;
  spillRefused_ = false;  // the next step may spill again
  if (pendingSaveFolder_ && !closing_) {
    const std::u16string folder = std::move(*pendingSaveFolder_);
    pendingSaveFolder_.reset();
    if (setSaveFolder(folder)) SaveConfig();
  }
  if (closing_) {
    closeNow();
  } else if (diskFailed_) {
    // Every further file would fail the same way: the crawl stops, and the
    // queue waits for a later run.
    setTimerEnabled(false);
    AddLog(u"磁盘无法写入,蜘蛛已停止");
    if (onFinished_) loop_.post(onFinished_);
  } else if (done) {
    finish();
  } else if (scope_.maxFilesReached(counts_.filesSaved)) {
    // The rest of the queue waits for a later run.
    setTimerEnabled(false);
    AddLog(u"已保存" + text::widen(std::to_string(counts_.filesSaved)) + u"个文件,达到上限 (--max-files),蜘蛛已停止");
    if (onFinished_) loop_.post(onFinished_);
  }
}

// LoadList leaves the read counter where it is when spill file Rnum is not
// there. With Rnum short of Wnum that is a gap (a file deleted by hand, a
// spill that never reached the disk), and with Rnum past Wnum (counters edited
// by hand) no file will ever come: either way the counters could never meet
// again and the crawl would go on refilling from nothing for ever. A gap is
// passed over one file per refill; a read counter ahead is brought back to
// the write counter. A file that exists but cannot be read now is left to be
// tried again.
void CrawlController::skipMissingSpillFile() {
  if (settings_.Rnum == settings_.Wnum) return;
  if (!fs::missing(site_.spillFileName(settings_.Rnum))) return;
  settings_.Rnum = settings_.Rnum < settings_.Wnum ? settings_.Rnum + 1 : settings_.Wnum;
}

void CrawlController::finish() {
  crawlDone_ = true;
  setTimerEnabled(false);
  progressValue_ = progressMax_;  // the bar shows the copy whole
  view_.progressChanged(progressMax_, progressValue_);
  clearSpillFolder();
  if (options_.update) AddLog(updateSummary());
  AddLog(u"一个网站已经下载完成");
  if (onFinished_) loop_.post(onFinished_);
}

// Nothing is left to read: the spill files and the journal have served, and
// the copy keeps no folder of the program's. The counters start again.
bool CrawlController::clearSpillFolder() {
  if (!queue_.empty() || settings_.Rnum != settings_.Wnum || journalFolder_.empty()) return false;
  journal_.remove();
  useSaveFolder();
  if (!site_.removeSpillFolder()) return false;
  if (settings_.Rnum != 0) {
    settings_.Rnum = settings_.Wnum = 0;
    SaveConfig();
  }
  return true;
}

void CrawlController::discardPartialFile() {
  if (savingTo_.empty()) return;
  site_.discardPartial(savingTo_);
  savingTo_.clear();
}

// The whole body takes its file's name; until then no one sees it as saved.
void CrawlController::keepSavedFile() {
  if (savingTo_.empty()) return;
  if (fs::Error e = site_.commitPartial(savingTo_); e != fs::Error::kOk) {
    saveFailed(e);
    site_.discardPartial(savingTo_);
    return;
  }
  savedThisRun_.push_back(savingTo_);
  ++counts_.filesSaved;
  if (options_.update) {
    ++(updateHadFile_ ? counts_.updateChanged : counts_.updateNew);
    updatedFiles_.insert(savingTo_);
  }
  if (state_.isOpen()) {
    store::StateStore::Entry e;
    e.url = text::toUtf8(fetcher().url());
    e.file = text::toUtf8(savingTo_);
    e.status = static_cast<int>(settingNumber(fetcher().status(), 0, 999));
    e.etag = text::toUtf8(fetcher().header(u"etag"));
    e.lastModified = text::toUtf8(fetcher().header(u"last-modified"));
    e.size = bodyBytes_;
    e.fetched = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    state_.saved(e);
  }
  counts_.bytesSaved += bodyBytes_;
}

void CrawlController::saveFailed(fs::Error e) {
  saveFailed_ = true;
  ++counts_.writeFailures;
  AddLog(u"保存文件失败:" + fetcher().url() + u" (" + reason(e) + u")");
  // A name the file system refuses is that file's failure; only the disk
  // itself failing stops the crawl, as every further file would fail too.
  const bool saveFolderRefused =
      e == fs::Error::kDenied && ::access(text::toUtf8(savePath().empty() ? u"." : savePath()).c_str(), W_OK) != 0;
  diskFailed_ = diskFailed_ || e == fs::Error::kNoSpace || e == fs::Error::kReadOnly || e == fs::Error::kDeviceIo ||
                saveFolderRefused;
}

void CrawlController::requestClose(std::function<void()> onClosed) {
  if (closing_) return;  // a second request while closing is ignored
  closing_ = true;
  onClosed_ = std::move(onClosed);
  if (inStep_) {
    if (fetcher_) fetcher_->Cancel();  // the close runs once the step has unwound
  } else {
    closeNow();
  }
}

void CrawlController::quitNow() {
  if (closed_) return;
  closed_ = true;
  setTimerEnabled(false);
  if (inStep_ && fetcher_) fetcher_->Cancel();
  setTray(TrayIcon::kRemoved, u"");
}

void CrawlController::closeNow() {
  if (closed_) return;
  closed_ = true;
  setTimerEnabled(false);
  if (!queue_.empty()) {
    setPanel(4, u"保存记录,请不要再次关闭");
    makeSaveFolder();
    useSaveFolder();
    if (!spillNumberFree() || !site_.SaveAllList(queue_, settings_.Wnum)) {
      // The journal keeps the queue for the next start.
      spillFailed_ = true;
      ++counts_.writeFailures;
      warn(u"无法保存队列到:" + text::fromUtf8(site_.spillFolder()) + u",下次启动时从队列日志恢复");
    }
    SaveConfig();
  }
  if (!clearSpillFolder() && !journalFolder_.empty()) {
    // A clean close leaves no journal unless something is kept only there:
    // the queue that could not be spilled, or the counters that the settings
    // file could not take.
    if (spillFailed_) {
      writeJournal(true);
    } else if (settingsSaved_ != profile::ProfileError::kNone) {
      snapshotQueue();
    } else {
      journal_.remove();
    }
  }
  setTray(TrayIcon::kRemoved, u"");
  if (onClosed_) loop_.post(onClosed_);
}

void CrawlController::SaveFile(const std::u16string& fileName, const fetcher::Bytes& Data, int32_t /*CurrLen*/) {
  if (fetchingRobots_) {
    if (robotsBody_.size() < (1u << 20)) robotsBody_.append(Data);  // a robots.txt is small; the rest is not read
    return;
  }
  if (isDirectoryPage() || saveFailed_ || !answeredWithPage()) return;
  if (scope_.tooLarge(std::max(fetcher().contentLength(), bodyBytes_ + static_cast<int64_t>(Data.size())))) {
    // Judged from Content-Length before anything is written, else from
    // what has arrived: the part saved so far goes.
    tellOutOfScope(fetcher().url(), u"--max-size " + text::widen(std::to_string(scope_.rules().maxSize)));
    tooLarge_ = saveFailed_ = true;
    fetcher().Cancel();
    return;
  }
  // A page with a query is saved only when QueryPages is on; a requisite
  // with one always.
  if (text::contains(fileName, u"?") && !followsQueryPages() && !fetchingRequisite_) return;
  const bool first = savingTo_.empty();
  if (first) {
    const std::u16string name = store::localName(fetcher().url());
    if (name.empty()) {
      // The spill folder is the program's: a host named tmp is not saved.
      AddLog(u"不保存到程序的临时目录:" + fetcher().url());
      fetchedThisRun_.insert(text::toLower(fetcher().url()));
      saveFailed_ = true;
      fetcher().Cancel();
      return;
    }
    std::vector<std::u16string> moved;
    savingTo_ = site_.makeRoomFor(store::nameForContent(name, fetcher().contentType()), &moved);
    for (const std::u16string& file : moved) std::replace(savedThisRun_.begin(), savedThisRun_.end(), file, file + u"/index.html");
    if (!journalFolder_.empty()) {
      if (fs::Error e = journal_.savingTo(savingTo_); e != fs::Error::kOk) journalFailed(e);
    }
  }
  if (fs::Error e = site_.savePartial(savingTo_, Data, first); e != fs::Error::kOk) {
    // The piece is not on the disk: the fetch ends and the URL stays for later.
    saveFailed(e);
    fetcher().Cancel();
    return;
  }
  bodyBytes_ += static_cast<int64_t>(Data.size());
  AddLog(u"保存文件" + fetcher().url());
}

void CrawlController::tagProgress(int32_t CurrLen, int32_t allLen) {
  // The bar refuses a maximum that is not above its minimum 0, and a value
  // outside 0..maximum; each setting is refused on its own.
  if (allLen > 0) progressMax_ = allLen;
  if (CurrLen >= 0 && CurrLen <= progressMax_) progressValue_ = CurrLen;
  if (progressValue_ > progressMax_) progressValue_ = progressMax_;
  view_.progressChanged(progressMax_, progressValue_);
}

void CrawlController::ShowState(const std::u16string& State) {
  lastState_ = State;
  if (connections() > 1) {
    const int running = fetcher().inFlight();
    setPanel(1, fetcher().lastStarted() +
                    (running > 1 ? u" (同时下载" + text::widen(std::to_string(running)) + u"个)" : std::u16string()));
  } else {
    setPanel(1, fetcher().url());
  }
  AddLog(State);
}

void CrawlController::GetTag(const std::u16string& TagName, const std::u16string& TagDis) {
  if (TagDis.empty()) return;
  const std::vector<std::u16string> fields = splitFields(TagDis);
  const std::u16string& link = fields[0];
  if (!link.empty()) {
    if (fields.size() < 2) return;
    // Style sheets, images and scripts are parts of the page.
    queueLink(link, false, TagName == u"link" || TagName == u"img" || TagName == u"script");
  }
}

// A link found on the current page: the same-host test (hosts compared
// whatever the scheme; anySite skips it), the "already saved" test and the
// filters; a long queue spills.
void CrawlController::queueLink(const std::u16string& link, bool anySite, bool requisite) {
  const bool sameSite = url::siteOf(link) == fetcher().host();
  const bool offSite = requisite && !sameSite && !anySite && fetchesPageRequisites();
  if (isDirectoryPage()) {
    queue_.append(link);
    showQueueLength();
  } else if ((anySite || sameSite || offSite) && (options_.update ? queuedForUpdate_.insert(text::toLower(link)).second
                                                                   : !isSaved(link))) {
    const std::u16string lower = text::toLower(link);
    if (text::contains(lower, u"javascript:") || text::contains(lower, u"mailto:")) {
      // never followed
    } else if (text::contains(lower, u"?") && !requisite && !fetchingRequisite_ && !followsQueryPages()) {
      countSkipped(skippedQueryLinks_, counts_.queryLinksSkipped, lower);
    } else {
      // A requisite with a query ("style.css?ver=6") is part of its page, as
      // is one of another site, and whatever such a style sheet names.
      const bool mark = fetchingRequisite_ || offSite || (requisite && text::contains(lower, u"?"));
      if (inScope(link, requisite || fetchingRequisite_)) {
        const std::u16string entry = scope_.queued(link, linkDepth_);
        queue_.append(mark ? entry + std::u16string(kRequisiteMark) : entry);
        showQueueLength();
      }
    }
  } else {
    AddLog(u"文件已经存在,放弃");
    if (!anySite && !sameSite) countSkipped(skippedOtherSiteLinks_, counts_.otherSiteLinksSkipped, text::toLower(link));
  }
  if (queue_.count() > kQueueLimit) spillQueueTail();
}

// A long queue spills its tail. A spill that fails is told once and counted,
// and the queue stays long until the next step tries again, rather than
// every further link moving thousands of items out and back.
void CrawlController::spillQueueTail() {
  if (inSpill_ || spillRefused_) return;
  if (!spillNumberFree()) return;  // the queue stays in memory until the files are read
  inSpill_ = true;
  const bool spilled = site_.SaveList(queue_, settings_.Wnum);
  inSpill_ = false;
  if (!spilled) {
    spillRefused_ = true;
    ++counts_.writeFailures;
    if (!spillWarned_) {
      spillWarned_ = true;
      warn(u"无法保存队列到:" + text::fromUtf8(site_.spillFolder()) + u",队列暂留在内存中");
    }
    return;
  }
  SaveConfig();
  queueSpilled_ = false;
  snapshotQueue();
}

// A spill file's number must be one the write counter can move past. At the
// largest number it cannot: once every spill file has been read the files go
// and both counters start again at 0; until then nothing more is spilled
// (the queue stays in memory), so no file is written under a number that
// would be read as done.
bool CrawlController::spillNumberFree() {
  if (settings_.Wnum < INT32_MAX) return true;
  if (settings_.Rnum != settings_.Wnum || !site_.removeSpillFiles()) return false;
  settings_.Rnum = settings_.Wnum = 0;
  SaveConfig();
  snapshotQueue();
  return true;
}

void CrawlController::countSkipped(std::unordered_set<size_t>& seen, int64_t& count, const std::u16string& link) {
  if (seen.insert(std::hash<std::u16string>()(link)).second) ++count;
}

// A redirect's target is a link found on the page that redirected: what was
// fetched in this run is not fetched again, so no cycle of redirects runs for
// ever. A start address that leads to another site moves the crawl there.
void CrawlController::followRedirect(const std::u16string& from) {
  static constexpr std::u16string_view kRedirects[] = {u"301", u"302", u"303", u"307", u"308"};
  const std::u16string status = fetcher().status();
  if (std::find(std::begin(kRedirects), std::end(kRedirects), status) == std::end(kRedirects)) return;
  const std::u16string location = fetcher().location();
  const std::u16string target = location.empty() ? std::u16string() : url::crawlLink(from, location);
  AddLog(u"重定向" + status + u":" + from + u" -> " + (target.empty() ? location : target));
  if (target.empty()) return;
  linkDepth_ = headDepth_;  // a redirect is no step further from the start
  bool anySite = false;
  if (startAddresses_.contains(text::toLower(from))) {
    startAddresses_.insert(text::toLower(target));
    const std::u16string site = url::siteOf(target);
    if (site != fetcher().host() && !isDirectoryPage()) {
      AddLog(u"起始地址转到新站点:" + site);
      anySite = true;
    }
  }
  queueLink(target, anySite);
}

void CrawlController::setPanel(int n, std::u16string text) {
  if (panels_[n - 1] == text) return;
  panels_[n - 1] = std::move(text);
  view_.panelChanged(n, panels_[n - 1]);
}

void CrawlController::showQueueLength() { setPanel(2, text::widen(std::to_string(queue_.count()))); }

void CrawlController::setTray(TrayIcon icon, std::u16string tip) {
  trayTip_ = std::move(tip);
  view_.trayChanged(icon, trayTip_);
}

void CrawlController::setTimerEnabled(bool enabled) {
  if (enabled == timerEnabled_) return;
  timerEnabled_ = enabled;
  if (enabled) {
    timer_ = loop_.addTimer(stepInterval(), true, [this] { CrawlStep(); });
  } else if (timer_) {
    loop_.cancelTimer(timer_);
    timer_ = 0;
    commitState(true);
    // What was fetched ahead goes with the timer ("停止", the tray's
    // "暂停", the end); its URLs stay queued.
    if (fetcher_) fetcher_->dropPrefetches();
  }
  view_.timerEnabledChanged(enabled);
}

// The run's scope: what the terminal set, else what the settings hold.
ScopeRules CrawlController::scopeRules() const {
  ScopeRules rules = options_.request.scope;
  if (rules.depth < 0) rules.depth = settings_.Depth;
  if (rules.include.empty()) rules.include = splitPatterns(settings_.Include);
  if (rules.exclude.empty()) rules.exclude = splitPatterns(settings_.Exclude);
  if (rules.maxSize <= 0) rules.maxSize = settings_.MaxSize;
  if (rules.maxFiles <= 0) rules.maxFiles = settings_.MaxFiles;
  rules.robots = rules.robots || settings_.Robots;
  return rules;
}

// A link the rules leave out is told once, with the rule.
bool CrawlController::inScope(const std::u16string& link, bool requisite) {
  std::u16string rule = scope_.excludedBy(link, linkDepth_, requisite);
  if (rule.empty()) rule = scope_.robotsExcluded(url::siteOf(link), link);
  if (rule.empty()) return true;
  tellOutOfScope(link, rule);
  return false;
}

void CrawlController::tellOutOfScope(const std::u16string& link, const std::u16string& rule) {
  if (!scope_.firstExclusion(text::toLower(link))) return;
  ++counts_.outOfScope;
  AddLog(u"超出范围,放弃:" + link + u" (" + rule + u")");
}

// A site's robots.txt, fetched once before its first page. A missing file,
// an error status or a failed fetch leaves the whole site allowed.
void CrawlController::fetchRobots(const std::u16string& u) {
  const std::u16string site = url::siteOf(u);
  const std::optional<url::FetchUrl> parsed = url::FetchUrl::parse(u);
  if (!parsed || !scope_.robotsWanted(site)) return;
  const std::u16string robotsUrl = parsed->scheme + u"://" + parsed->authority() + u"/robots.txt";
  const int delayBefore = scope_.crawlDelayMs();
  robotsBody_.clear();
  fetchingRobots_ = true;
  fetcher().clearHTMLcode();
  const com::HResult h = fetcher().OpenUrl(robotsUrl);
  fetchingRobots_ = false;
  const bool found = com::succeeded(h) && fetcher().lastFetchComplete() && fetcher().status().starts_with(u'2');
  scope_.setRobots(site, found ? RobotsRules::parse(robotsBody_, "harbek") : RobotsRules());
  AddLog((found ? u"读取robots.txt:" : u"没有robots.txt:") + robotsUrl);
  if (scope_.crawlDelayMs() > delayBefore) restartTimer();
}

// The timer takes a new interval (a Crawl-delay) from its next expiry on.
// The copy's state is committed once a second, and whenever the crawl
// stops: a kill loses at most the last second's entries, which only makes
// those files count as saved with validators unknown.
void CrawlController::commitState(bool now) {
  const auto time = std::chrono::steady_clock::now();
  if (!now && time - stateCommitted_ < std::chrono::seconds(1)) return;
  stateCommitted_ = time;
  if (!state_.commit() && !stateWarned_) {
    stateWarned_ = true;
    warn(u"无法写入状态库:" + text::fromUtf8(state_.error()));
  }
}

void CrawlController::restartTimer() {
  if (!timerEnabled_ || !timer_) return;
  loop_.cancelTimer(timer_);
  timer_ = loop_.addTimer(stepInterval(), true, [this] { CrawlStep(); });
}

// The state store of the save folder; a copy from before it had one is
// simply without one until now. URLs that failed in an earlier run go to the
// front of the queue.
void CrawlController::openStateStore() {
  if (!state_.open(text::toUtf8(site_.SavePath()))) {
    if (!stateWarned_) {
      stateWarned_ = true;
      warn(u"无法打开状态库:" + text::fromUtf8(state_.error()));
    }
    return;
  }
  std::vector<std::u16string> retry;
  for (const store::StateStore::Entry& e : state_.failures()) {
    if (!isSaved(text::fromUtf8(e.url))) retry.push_back(text::fromUtf8(e.queued.empty() ? e.url : e.queued));
  }
  if (retry.empty()) return;
  queue_.prepend(retry);
  AddLog(u"重试上次失败的地址:" + text::widen(std::to_string(retry.size())));
}

void CrawlController::rememberFailure(const std::u16string& u, const std::u16string& why) {
  std::u16string_view plain = u;
  if (plain.ends_with(kRequisiteMark)) plain.remove_suffix(kRequisiteMark.size());
  const int64_t now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  state_.failed(text::toUtf8(CrawlScope::stripDepth(plain)), text::toUtf8(u), text::toUtf8(why), now);
  ++counts_.updateFailed;
}

// An update's 304: the saved copy is current. Its links are read from the
// file as if it had just been fetched; the file itself is not touched.
bool CrawlController::revalidated(const std::u16string& head, const std::u16string& u, const store::StateStore::Entry& known,
                          com::HResult h) {
  ++counts_.updateUnchanged;
  fetchedThisRun_.insert(text::toLower(u));
  AddLog(u"未改变:" + u);
  const bool page = known.file.ends_with(".html") || known.file.ends_with(".htm");
  const bool styleSheet = known.file.ends_with(".css");
  std::string bytes;
  if ((page || styleSheet) && fs::readFile(text::toUtf8(savePath()) + "/" + known.file, bytes) == fs::Error::kOk) {
    fetcher().loadSavedPage(std::move(bytes), styleSheet);
    h = scanLinks();
  }
  return keepFailingHead(head, h);
}

std::u16string CrawlController::updateSummary() const {
  auto n = [](int64_t v) { return text::widen(std::to_string(v)); };
  return u"更新完成: 改变" + n(counts_.updateChanged) + u", 新增" + n(counts_.updateNew) + u", 未改变" +
         n(counts_.updateUnchanged) + u", 已删除" + n(counts_.updateGone) + u", 失败" + n(counts_.updateFailed);
}

}  // namespace harbek::crawler
