#include "fetcher/html.h"

#include <algorithm>

#include "libs/url/fetch_url.h"
#include "libs/url/web_url.h"
#include "platform/component/runtime.h"
#include "platform/net/socket_errors.h"
#include "platform/text/text.h"

namespace harbek::fetcher {
namespace {

using namespace std::chrono_literals;
constexpr auto kPumpWait = 10ms;
// The pause between two connect attempts that failed for want of buffer space.
constexpr auto kRetryPause = 1s;
constexpr size_t npos = std::u16string_view::npos;

// A request path may hold anything a page's link held; spaces and control
// characters would break the request line (or start a header of their own),
// so they travel percent-encoded.
std::u16string wirePath(std::u16string_view path) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string out;
  out.reserve(path.size());
  for (char16_t c : path) {
    if (c <= u' ' || c == 0x7F) {
      out += u'%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

html::html(event::EventLoop& loop, HtmlEvents& owner, const net::TcpClientOptions& connections)
    : html(loop, owner, net::makeTcpClient(loop, connections)) {
  connections_ = connections;
}

html::html(event::EventLoop& loop, HtmlEvents& owner, std::unique_ptr<net::TcpClient> socket)
    : loop_(loop), owner_(owner), socket_(std::move(socket)) {
  socket_->setHandlers(handlers());
}

html::~html() {
  if (idleTimer_) loop_.cancelTimer(idleTimer_);
  socket_->setHandlers({});
  socket_->close();
  if (tls_) {
    tls_->setHandlers({});
    tls_->close();
  }
}

net::TcpClient::Handlers html::handlers() {
  net::TcpClient::Handlers handlers;
  handlers.connected = [] {};
  handlers.dataArrival = [this](int32_t bytesTotal) { ReadData(bytesTotal); };
  handlers.closed = [this] { onClosed(); };
  handlers.error = [this](int32_t number, const std::string& description) { onError(number, description); };
  return handlers;
}

net::TlsClient& html::tlsClient() {
  if (!tls_) {
    net::TcpClientOptions transport = connections_;
    transport.noDelay = true;
    tls_ = net::makeTlsClient(loop_, net::makeTcpClient(loop_, transport), tlsOptions_);
    tls_->setHandlers(handlers());
  }
  return *tls_;
}

void html::setTlsOptions(const net::TlsOptions& options) {
  if (options.verify == tlsOptions_.verify && options.caFile == tlsOptions_.caFile) return;
  tlsOptions_ = options;
  if (prefetcher_) prefetcher_->setTlsOptions(options);
  if (tls_) {
    tls_->setHandlers({});
    tls_->close();
    tls_.reset();
  }
}

void html::setUserAgent(const std::u16string& userAgent) { userAgent_ = userAgent.empty() ? kUserAgent : userAgent; }

com::HResult html::ensureWebUrl() {
  if (webUrl_) return com::kOk;
  return com::create<url::IWebUrl>(url::kVornetClsid, webUrl_);
}

com::HResult html::ensureTextor() {
  if (textor_) return com::kOk;
  return com::create<textor::ITotextor>(textor::kTotextorClsid, textor_);
}

std::u16string html::urlText() const {
  if (const auto* s = url_.get<std::u16string>()) return *s;
  com::Variant asText;
  if (com::failed(com::convert(url_, com::VarType::kText, asText))) return {};
  return *asText.get<std::u16string>();
}

void html::ShowMsg(const std::u16string& s) { owner_.ShowState(s); }

bool html::ranOut(Clock::time_point start, int factor) const {
  return Clock::now() - start > std::chrono::seconds(int64_t{WaitTime_} * factor);
}

com::HResult html::iniUrl(const std::u16string& address) {
  Split split;
  if (com::HResult h = splitUrl(address, split); com::failed(h)) return h;
  url_ = address;
  https_ = split.https;
  host_ = std::move(split.host);
  fileName_ = std::move(split.fileName);
  return com::kOk;
}

com::HResult html::splitUrl(const std::u16string& address, Split& out) {
  if (com::HResult h = ensureWebUrl(); com::failed(h)) return h;
  out.https = url::uriScheme(address) == u"https";
  if (out.https) {
    const std::optional<url::FetchUrl> u = url::FetchUrl::parse(address);
    if (!u) return com::kInvalidArgument;
    out.host = u->authority();
    out.fileName = u->path + u->query;
    return com::kOk;
  }
  std::u16string h;
  if (com::HResult r = webUrl_->gethost(address, &h); com::failed(r)) return r;
  out.host = h;
  // The path keeps its letter case: servers tell A.html from a.html. It is
  // what follows the host in the normalised URL.
  const std::u16string rest = url::nohttpKeepCase(address);
  const size_t slash = rest.find(u'/');
  out.fileName = slash == npos ? std::u16string() : rest.substr(slash);
  return com::kOk;
}

com::HResult html::target(const Split& split, Target& out) const {
  // A port in the URL ("site:8080") wins over Port; host keeps the suffix.
  const std::u16string& host = split.host;
  const size_t colon = host.find(u':');
  int64_t port = split.https ? httpsPort_ : Port_;
  if (colon != npos) {
    const std::u16string_view digits = std::u16string_view(host).substr(colon + 1);
    if (digits.empty() || digits.size() > 5) return com::kOverflow;
    port = 0;
    for (char16_t c : digits) {
      if (c < u'0' || c > u'9') return com::kOverflow;
      port = port * 10 + (c - u'0');
    }
  }
  if (port < 1 || port > 65535) return com::kOverflow;
  out.name = host.substr(0, colon);
  out.port = static_cast<uint16_t>(port);
  out.tls = split.https;
  return com::kOk;
}

Prefetcher::Request html::prefetchRequest(const Split& split, const Target& to, const std::u16string& header) const {
  Prefetcher::Request r;
  const std::u16string ip = cachedIP(split.host);
  r.serverName = text::toUtf8(to.name);
  r.connectTo = ip.empty() ? r.serverName : text::toUtf8(ip);
  r.port = to.port;
  r.tls = to.tls;
  r.bytes = text::toCodePage(header);
  return r;
}

void html::setConnections(int connections) {
  if (connections == connectionCount_) return;
  connectionCount_ = connections;
  if (connections <= 1) {
    prefetcher_.reset();
    return;
  }
  prefetcher_ = std::make_unique<Prefetcher>(loop_, static_cast<size_t>(connections - 1), connections_, tlsOptions_);
  prefetcher_->setInterval(requestInterval_);
  keepAlive_ = true;
}

void html::setRequestInterval(std::chrono::milliseconds interval) {
  requestInterval_ = interval;
  if (prefetcher_) prefetcher_->setInterval(interval);
}

void html::prefetch(const std::vector<std::u16string>& addresses) {
  if (!prefetcher_) return;
  prefetcher_->setWaitTime(WaitTime_);
  std::vector<Prefetcher::Request> requests;
  for (const std::u16string& address : addresses) {
    Split split;
    Target to;
    if (com::failed(splitUrl(address, split)) || com::failed(target(split, to))) continue;
    requests.push_back(prefetchRequest(split, to, MakeHeader(split, Cookie_)));
    requests.back().url = address;
  }
  prefetcher_->want(std::move(requests));
}

void html::dropPrefetches() {
  if (prefetcher_) prefetcher_->dropAll();
}

int html::inFlight() const { return (inFetch_ ? 1 : 0) + (prefetcher_ ? static_cast<int>(prefetcher_->running()) : 0); }

std::u16string html::lastStarted() const { return prefetcher_ ? prefetcher_->lastStarted() : urlText(); }

// The response to this very request, when one was fetched ahead: waited
// for while it still comes, then read as if it came now. False when there is
// none (the fetch then goes the ordinary way).
bool html::takePrefetched(const std::string& key) {
  while (prefetcher_->state(key) == Prefetcher::State::kRunning && !cancelled_) loop_.pumpOnce(kPumpWait);
  std::optional<Prefetcher::Response> response = prefetcher_->take(key);
  if (cancelled_) return true;
  if (!response) return false;
  replaying_ = true;
  inFetch_ = true;
  isFirstResponse_ = true;
  takeArrival(std::move(response->bytes));
  if (!getHtmlCodeIsOver_ && response->endedByClose) serverClosed();
  if (!getHtmlCodeIsOver_) endFetch();
  inFetch_ = false;
  replaying_ = false;
  return true;
}

// Two requests to one site start at least the interval apart.
void html::waitForTurn(const std::string& site) {
  while (!cancelled_) {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(prefetcher_->untilTurn(site));
    if (wait.count() <= 0) return;
    loop_.pumpOnce(std::min<std::chrono::milliseconds>(wait, kPumpWait));
  }
}

com::HResult html::OpenUrl(const std::u16string& address) {
  complete_ = false;
  cancelled_ = false;
  headerPending_ = false;
  headerTaken_ = false;
  reused_ = arrived_ = retried_ = retryFresh_ = false;
  if (idleTimer_) {
    loop_.cancelTimer(idleTimer_);
    idleTimer_ = 0;
  }
  if (com::HResult h = iniUrl(address); com::failed(h)) return h;
  const Split split{host_, fileName_, https_};
  Target to;
  if (com::HResult h = target(split, to); com::failed(h)) return h;
  getHtmlCodeIsOver_ = false;
  HTMLcode_.clear();
  Bytes().swap(pageBytes_);
  std::u16string().swap(styleSheet_);
  linkBase_.clear();
  responseCharset_.clear();
  pageCharset_ = text::Charset::kCodePage;
  SendHeader_ = MakeHeader(split, Cookie_);
  if (prefetcher_) {
    prefetcher_->setWaitTime(WaitTime_);
    const Prefetcher::Request request = prefetchRequest(split, to, SendHeader_);
    if (takePrefetched(request.key())) {
      decodePage(contentType_.find(u"htm") == npos);
      return com::kOk;
    }
    waitForTurn(request.site());
    if (cancelled_) return com::kOk;
    prefetcher_->started(request.site(), address);
  }
  if (!ConnectHost(to)) return com::kOk;

  while (true) {
    inFetch_ = true;
    if (transport().send(text::toCodePage(SendHeader_)) != 0) {
      if (staleReuse()) {
        retryFresh_ = true;
      } else {
        endFetch();
        inFetch_ = false;
        return com::kOk;
      }
    }
    const Clock::time_point sent = Clock::now();
    lastArrival_ = sent;
    while (!getHtmlCodeIsOver_ && !retryFresh_) {
      loop_.pumpOnce(kPumpWait);
      if (getHtmlCodeIsOver_) break;
      if (ranOut(lastArrival_) || ranOut(sent, kOverallLimitFactor)) {
        transport().close();
        getHtmlCodeIsOver_ = true;
        isFirstResponse_ = true;
        ShowMsg(u"数据接收超时");
      }
    }
    inFetch_ = false;
    if (!retryFresh_) break;
    // The kept connection had gone stale: once more on a fresh one.
    retryFresh_ = false;
    retried_ = true;
    dropKept();
    getHtmlCodeIsOver_ = false;
    isFirstResponse_ = true;
    if (!ConnectHost(to)) return com::kOk;
  }
  decodePage(contentType_.find(u"htm") == npos);
  return com::kOk;
}

bool html::ConnectHost(const Target& to) {
  // A connection left open is used again only when it leads where this
  // fetch goes; any other socket is closed first.
  if (transport().state() == net::SocketState::kConnected && socketTarget_ == to) {
    reused_ = true;
    ++reuseCount_;
    return true;
  }
  reused_ = false;
  socket_->close();
  if (tls_) tls_->close();
  // The certificate is checked against the URL's host, whatever address
  // the IP cache connects to.
  if (to.tls) tlsClient().setServerName(text::toUtf8(to.name));
  net::TcpClient& socket = transport();

  auto attempt = [&] {
    const std::u16string ip = FindIP(host_);
    socketTarget_ = to;
    return socket.connect(text::toUtf8(ip.empty() ? to.name : ip), to.port);
  };
  const Clock::time_point firstAttempt = Clock::now();
  int32_t lastError = attempt();
  Clock::time_point start = Clock::now();
  while (lastError == net::kWsaNoBufferSpace) {
    if (!pauseBeforeRetry(firstAttempt)) return false;
    ShowMsg(u"WSK_ERR:10055重新连接");
    lastError = attempt();
    start = Clock::now();
  }
  // Any other error is left to the wait: it runs out.
  while (true) {
    if (socket.state() == net::SocketState::kConnected) {
      SaveIP(text::widen(socket.remoteIp()), host_);
      return true;
    }
    // Four turns of the loop between checks, as the control always did; a
    // turn blocks while nothing is ready, so stop as soon as the connection
    // is there rather than sit out the remaining turns.
    for (int i = 0; i < 4 && socket.state() != net::SocketState::kConnected; ++i) loop_.pumpOnce(kPumpWait);
    // The owner's Cancel ends the wait, and so does the socket's error
    // notification (a name that does not resolve, a refused connection, a
    // rejected certificate or a broken handshake): waiting out the limit
    // would tell nothing more. A socket error still ends with the line every
    // failed connect ends with, after its "wskError:" line.
    if (cancelled_) return false;
    if (getHtmlCodeIsOver_ || ranOut(start)) {
      ShowMsg(u"连接服务器时间过长");
      return false;
    }
  }
}

bool html::pauseBeforeRetry(Clock::time_point firstAttempt) {
  const Clock::time_point until = Clock::now() + kRetryPause;
  while (Clock::now() < until) {
    loop_.pumpOnce(kPumpWait);
    // A Cancel (the owner's, or a socket error's) ends the retries.
    if (cancelled_ || getHtmlCodeIsOver_) return false;
  }
  if (ranOut(firstAttempt, kOverallLimitFactor)) {
    ShowMsg(u"连接服务器时间过长");
    return false;
  }
  return true;
}

std::u16string html::MakeHeader(const Split& split, const std::u16string& cookie) const {
  std::u16string r = u"GET " + wirePath(split.fileName.empty() ? u"/" : split.fileName) + u" HTTP/1.1\r\n";
  if (cookie != u"0") r += u"Cookie: " + cookie + u"\r\n";
  r += u"User-Agent: " + userAgent_ + u"\r\n";
  r += u"Host: " + split.host + u"\r\n";
  r += u"Accept-Language: zh-cn\r\n";
  r += u"Accept-CharSet: gb2312\r\n";
  r += u"Accept: */*\r\n";
  r += u"cache-Control: no-cache\r\n";
  r += u"Pragma: no-cache\r\n";
  if (!ifNoneMatch_.empty()) r += u"If-None-Match: " + ifNoneMatch_ + u"\r\n";
  if (!ifModifiedSince_.empty()) r += u"If-Modified-Since: " + ifModifiedSince_ + u"\r\n";
  if (!keepAlive_) r += u"Connection: close\r\n";
  r += u"\r\n";
  return r;
}

void html::ReadData(int32_t /*bytesTotal*/) {
  // The bytes pending now are this arrival, whatever count was announced.
  if (keepAlive_ && getHtmlCodeIsOver_) {
    // Bytes no request asked for: the connection cannot serve another.
    dropKept();
    return;
  }
  takeArrival(transport().takeAll());
}

void html::takeArrival(Bytes arrival) {
  lastArrival_ = Clock::now();
  arrived_ = true;
  if (isFirstResponse_) {
    isFirstResponse_ = false;
    headerPending_ = true;
    reader_.start();
  }
  if (!headerPending_) {
    // A plain body is the arrival itself, handed on without a copy.
    takePiece(reader_.chunked() ? reader_.readMore(arrival) : std::move(arrival), false);
    return;
  }
  Bytes body;
  bool bodyFollowed = false;
  switch (reader_.feedHeader(arrival, body, bodyFollowed)) {
    case ResponseReader::HeaderState::kPending:
      return;
    case ResponseReader::HeaderState::kTooLong:
      takeHead(false);
      endFetch();
      return;
    case ResponseReader::HeaderState::kEnded:
      takeHead(true);
      if (keepAlive_ && bodyless_) {
        // Nothing follows such a header; bytes that do belong to no response.
        if (bodyFollowed) reusable_ = false;
        complete_ = true;
        ShowMsg(u"数据取回完成");
        endResponse();
        return;
      }
      if (bodyFollowed) takePiece(std::move(body), true);
      return;
  }
}

void html::takeHead(bool ended) {
  headerPending_ = false;
  headerTaken_ = true;
  // A response whose header never ended is broken, whatever follows it.
  headerEnded_ = ended;
  ResponseHead head = reader_.head();
  reHeader_ = std::move(head.reHeader);
  ShowMsg(u"接收到数据");
  Status_ = std::move(head.Status);
  contentType_ = std::move(head.contentType);
  responseCharset_ = head.CharSet ? text::toUtf8(*head.CharSet) : std::string();
  if (head.CharSet) CharSet_ = std::move(*head.CharSet);
  Location_ = std::move(head.Location);
  htmlLen_ = head.htmlLen;
  reusable_ = head.keepAlive;
  // A kept connection cannot wait for the close: a stated length of 0 or
  // a status without a body ends the response with its header.
  bodyless_ = ended && (head.noBody || (head.lengthStated && head.htmlLen == 0 && !head.chunked));
  if (htmlLen_ == 0) ShowMsg(u"没有数据长度");
  recvLen_ = 0;
  if (htmlLen_ != 0) owner_.Progress(0, htmlLen_);
}

// One piece of body: text for the scanner when the page is HTML, bytes for the
// owner, progress, and the end of the fetch once the body is whole.
void html::takePiece(Bytes piece, bool first) {
  // Bytes beyond Content-Length are not part of the body.
  if (!reader_.chunked() && htmlLen_ != 0 && recvLen_ + static_cast<int64_t>(piece.size()) > htmlLen_) {
    reusable_ = false;
    piece.resize(static_cast<size_t>(std::max<int64_t>(0, htmlLen_ - recvLen_)));
  }
  if (!piece.empty()) {
    recvLen_ += static_cast<int64_t>(piece.size());
    if (contentType_.find(u"htm") != npos || contentType_.find(u"text/css") != npos) keepText(piece, first);
    owner_.SaveFile(fileName_, piece, text::clamp32(piece.size()));
    if (htmlLen_ != 0) owner_.Progress(text::clamp32(recvLen_), htmlLen_);
  }
  const bool ended = reader_.chunked() ? reader_.chunkedEnded() : (!piece.empty() && recvLen_ == htmlLen_);
  if (!ended) return;
  if (!reader_.chunked() || reader_.chunkedComplete()) {
    complete_ = headerEnded_;
    ShowMsg(u"数据取回完成");
  }
  endResponse();
}

void html::endResponse() {
  if (replaying_ || !keepAlive_ || !reusable_ || !complete_ || cancelled_ || reader_.chunkedOverran()) {
    endFetch();
    return;
  }
  getHtmlCodeIsOver_ = true;
  isFirstResponse_ = true;
  if (idleTimer_) loop_.cancelTimer(idleTimer_);
  idleTimer_ = loop_.addTimer(kIdleLimit, false, [this] {
    idleTimer_ = 0;
    if (idle()) dropKept();
  });
}

void html::dropKept() {
  if (idleTimer_) {
    loop_.cancelTimer(idleTimer_);
    idleTimer_ = 0;
  }
  socket_->close();
  if (tls_) tls_->close();
}

// A page's bytes are kept as they come, up to kScanLimit of them (a larger
// page is saved whole but scanned only that far), and read as text once the
// fetch is over: its charset may only show in its bytes, and a character may
// be split between two arrivals.
void html::keepText(const Bytes& piece, bool first) {
  if (first) {
    pageBytes_.clear();
    if (htmlLen_ > 0) pageBytes_.reserve(std::min<size_t>(static_cast<size_t>(htmlLen_), kScanLimit));
  }
  if (pageBytes_.size() >= kScanLimit) return;
  pageBytes_.append(piece, 0, std::min(piece.size(), kScanLimit - pageBytes_.size()));
  if (pageBytes_.size() >= kScanLimit) {
    ShowMsg(u"页面超过" + text::widen(std::to_string(kScanLimit >> 20)) + u"M字符,只查找前面部分:" + urlText());
  }
}

void html::decodePage(bool styleSheet) {
  if (pageBytes_.empty()) return;
  pageCharset_ = text::pageCharset(responseCharset_, pageBytes_);
  // HTMLcode holds a page's text only; a style sheet's is kept beside it.
  std::u16string& out = styleSheet ? styleSheet_ : HTMLcode_;
  std::u16string().swap(out);
  if (pageCharset_ != text::Charset::kUtf8) out.reserve(pageBytes_.size());
  text::appendDecoded(pageBytes_, pageCharset_, out, kScanLimit);
  Bytes().swap(pageBytes_);
}

void html::loadSaved(Bytes bytes, bool styleSheet) {
  pageBytes_ = std::move(bytes);
  responseCharset_.clear();
  std::u16string().swap(styleSheet_);
  HTMLcode_.clear();
  decodePage(styleSheet);
}

void html::onClosed() {
  if (idle()) {
    dropKept();
    return;
  }
  if (inFetch_ && staleReuse()) {
    retryFresh_ = true;
    return;
  }
  serverClosed();
}

void html::serverClosed() {
  // A header cut short by the close still gives what fields it holds.
  if (headerPending_ && !getHtmlCodeIsOver_) takeHead(false);
  // A body of unstated length ends with the server's close.
  if (!isFirstResponse_ && !getHtmlCodeIsOver_ && htmlLen_ == 0 && !reader_.chunked()) complete_ = headerEnded_;
  endFetch();
}

void html::onError(int32_t /*number*/, const std::string& description) {
  if (idle()) {
    dropKept();
    return;
  }
  if (inFetch_ && staleReuse()) {
    retryFresh_ = true;
    return;
  }
  ShowMsg(u"wskError:" + text::fromUtf8(description));
  endFetch();
}

void html::Cancel() {
  cancelled_ = true;
  endFetch();
}

void html::endFetch() {
  if (!replaying_) transport().close();
  getHtmlCodeIsOver_ = true;
  isFirstResponse_ = true;
}

std::u16string html::FindIP(std::u16string_view h) {
  std::u16string ip = cachedIP(h);
  if (!ip.empty()) ShowMsg(u"查询IP成功");
  return ip;
}

std::u16string html::cachedIP(std::u16string_view h) const {
  const std::u16string_view want = text::trimSpaces(h);
  for (size_t i = 0; i < cacheHost_.size(); ++i) {
    if (text::trimSpaces(cacheHost_[i]) == want) return cacheIP_[i];
  }
  return {};
}

void html::SaveIP(const std::u16string& address, const std::u16string& h) {
  if (!FindIP(h).empty()) return;
  cacheHost_.push_back(h);
  cacheIP_.push_back(address);
  ShowMsg(u"进入缓存");
}

std::u16string html::locationKeepCase() const { return headerKeepCase(u"location"); }

std::u16string html::headerKeepCase(std::u16string_view name) const {
  if (!headerTaken_) return {};
  const std::u16string value = headerField(text::fromCodePage(reader_.rawHeader()), text::toLower(name));
  const size_t b = value.find_first_not_of(u" \t");
  if (b == npos) return {};
  return value.substr(b, value.find_last_not_of(u" \t") - b + 1);
}

std::u16string html::GetHeader(std::u16string_view Hname) const {
  return headerField(reHeader_, text::toLower(Hname));
}

ValueServices html::valueServices() {
  ValueServices services;
  services.stripText = [this](std::u16string_view element) {
    std::u16string out;
    if (com::failed(ensureTextor()) || com::failed(textor_->StripText(std::u16string(element), &out))) return std::u16string();
    return out;
  };
  // The control's url is read at each link: a handler may change it.
  services.resolve = [this](std::u16string_view link) {
    if (!browserLinks_) return url::resolveLinkKeepCase(urlText(), link);
    return url::crawlLink(linkBase_.empty() ? urlText() : linkBase_, link, pageCharset_);
  };
  return services;
}

com::HResult html::SearchTag(std::u16string_view TagName, std::u16string_view Pro, bool IsEndTag) {
  // The scan works on the text taken out of HTMLcode, not on a copy (a page
  // can be large); it goes back afterwards unless a handler set HTMLcode
  // meanwhile, which does not change the scan. Handlers see HTMLcode empty.
  std::u16string T;
  T.swap(HTMLcode_);
  struct PutBack {
    std::u16string& from;
    std::u16string& to;
    ~PutBack() {
      if (to.empty()) to.swap(from);
    }
  } putBack{T, HTMLcode_};
  if (T != u"0" && !T.empty() && !getHtmlCodeIsOver_) {
    ShowMsg(u"数据接收中.拒绝查找");
    return com::kOk;
  }
  const std::u16string names = u"," + text::toLower(Pro) + u",";
  if (names.find(u",innerhtml,") != npos || names.find(u",innertext,") != npos) {
    if (com::HResult h = ensureTextor(); com::failed(h)) return h;
  }
  const ValueServices services = valueServices();
  const std::u16string tagName(TagName);
  TagScanHooks hooks;
  hooks.progress = [this](int32_t pos, int32_t length) { owner_.tagProgress(pos, length); };
  hooks.element = [&](std::u16string_view element, std::u16string_view lowElement) {
    owner_.GetTag(tagName, fetcher::attributeValues(element, lowElement, Pro, services));
  };
  scanTags(T, TagName, IsEndTag, hooks);
  return com::kOk;
}

std::u16string html::ReValue(std::u16string_view s, std::u16string_view p) {
  return fetcher::attributeValues(s, text::toLower(s), p, valueServices());
}

std::u16string html::RpVALUE(std::u16string_view s, std::u16string_view PV) {
  return fetcher::attributeValue(s, text::toLower(s), PV, valueServices());
}

}  // namespace harbek::fetcher
