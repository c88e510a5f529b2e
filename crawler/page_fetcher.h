// What the crawl controller uses of the page fetcher. The real one is the
// control html (HtmlFetcher); tests give the controller a scripted one.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fetcher/html.h"
#include "platform/text/page_charset.h"

namespace harbek::crawler {

class PageFetcher {
 public:
  virtual ~PageFetcher() = default;
  virtual std::u16string host() const = 0;
  virtual std::u16string url() const = 0;
  virtual void clearHTMLcode() = 0;
  // Returns when the fetch is over; the events arrive while it runs.
  [[nodiscard]] virtual com::HResult OpenUrl(const std::u16string& address) = 0;
  virtual bool lastFetchComplete() const = 0;
  // The status code of the fetch's response; empty when none came.
  virtual std::u16string status() const = 0;
  // The response's Location header as written; empty when there is none.
  virtual std::u16string location() const = 0;
  // The response's Content-Type (without its charset); empty when none came.
  virtual std::u16string contentType() const { return {}; }
  // The validators of a saved copy for the next fetches (empty: none).
  virtual void setConditions(const std::u16string& /*etag*/, const std::u16string& /*lastModified*/) {}
  // Takes a saved page's bytes as the text the scans read, as if just
  // fetched (an update's 304).
  virtual void loadSavedPage(std::string /*bytes*/, bool /*styleSheet*/) {}
  // A header of the response as sent (ETag, Last-Modified); empty when none.
  virtual std::u16string header(std::u16string_view /*name*/) const { return {}; }
  // The response's Content-Length; -1 when none came.
  virtual int64_t contentLength() const { return -1; }
  // The text of the fetched page (HTMLcode) or style sheet, and what it was
  // read in; what page links resolve against besides the URL (its <base>).
  virtual std::u16string_view pageText() const { return {}; }
  virtual bool styleSheet() const { return false; }
  virtual text::Charset pageCharset() const { return text::Charset::kCodePage; }
  virtual void setLinkBase(std::u16string /*base*/) {}
  // The User-Agent line's value (empty: the control's own) and the
  // certificate checks of https fetches, for the fetches that follow.
  virtual void setRequestOptions(const std::u16string& userAgent, const net::TlsOptions& tls) = 0;
  // Connections kept for the next request to the same host (keep-alive).
  virtual void setKeepAlive(bool /*on*/) {}
  // Up to this many requests at once: the URLs named by prefetch, those the
  // crawl asks for next, are fetched ahead of their OpenUrl; two requests to
  // one site start at least the interval apart.
  virtual void setConnections(int /*connections*/, std::chrono::milliseconds /*interval*/) {}
  virtual void prefetch(const std::vector<std::u16string>& /*addresses*/) {}
  virtual void dropPrefetches() {}
  // Requests under way, and the URL of the one that started last.
  virtual int inFlight() const { return 0; }
  virtual std::u16string lastStarted() const { return url(); }
  [[nodiscard]] virtual com::HResult SearchTag(std::u16string_view TagName, std::u16string_view Pro, bool IsEndTag) = 0;
  virtual void Cancel() = 0;
};

// The control html as the controller's fetcher.
class HtmlFetcher : public PageFetcher {
 public:
  HtmlFetcher(event::EventLoop& loop, fetcher::HtmlEvents& owner, const net::TcpClientOptions& connections = {})
      : html_(loop, owner, connections) {
    html_.setBrowserLinks(true);
  }

  std::u16string host() const override { return html_.host(); }
  std::u16string url() const override {
    com::Variant text;
    if (com::failed(com::convert(html_.url(), com::VarType::kText, text))) return {};
    return *text.get<std::u16string>();
  }
  void clearHTMLcode() override { html_.setHTMLcode(u""); }
  com::HResult OpenUrl(const std::u16string& address) override { return html_.OpenUrl(address); }
  bool lastFetchComplete() const override { return html_.lastFetchComplete(); }
  std::u16string status() const override { return html_.responseStatus(); }
  std::u16string location() const override { return html_.locationKeepCase(); }
  std::u16string contentType() const override { return html_.responseStatus().empty() ? u"" : html_.contentType(); }
  void setConditions(const std::u16string& etag, const std::u16string& lastModified) override {
    html_.setConditions(etag, lastModified);
  }
  void loadSavedPage(std::string bytes, bool styleSheet) override { html_.loadSaved(std::move(bytes), styleSheet); }
  std::u16string header(std::u16string_view name) const override {
    std::u16string v = html_.headerKeepCase(name);
    const size_t b = v.find_first_not_of(u" \t");
    return b == std::u16string::npos ? std::u16string() : v.substr(b, v.find_last_not_of(u" \t") - b + 1);
  }
  int64_t contentLength() const override {
    const std::u16string v = html_.responseStatus().empty() ? u"" : html_.GetHeader(u"content-length");
    int64_t n = -1;
    for (const char16_t c : v) {
      if (c == u' ') continue;
      if (c < u'0' || c > u'9' || n > (int64_t{1} << 50)) return -1;
      n = (n < 0 ? 0 : n * 10) + (c - u'0');
    }
    return n;
  }
  std::u16string_view pageText() const override {
    return html_.styleSheet().empty() ? std::u16string_view(html_.HTMLcode()) : html_.styleSheet();
  }
  bool styleSheet() const override { return !html_.styleSheet().empty(); }
  text::Charset pageCharset() const override { return html_.pageCharset(); }
  void setLinkBase(std::u16string base) override { html_.setLinkBase(std::move(base)); }
  void setRequestOptions(const std::u16string& userAgent, const net::TlsOptions& tls) override {
    html_.setUserAgent(userAgent);
    html_.setTlsOptions(tls);
  }
  // The control itself, for callers that set its ports.
  fetcher::html& control() { return html_; }
  com::HResult SearchTag(std::u16string_view TagName, std::u16string_view Pro, bool IsEndTag) override {
    return html_.SearchTag(TagName, Pro, IsEndTag);
  }
  void setKeepAlive(bool on) override { html_.setKeepAlive(on); }
  void setConnections(int connections, std::chrono::milliseconds interval) override {
    html_.setConnections(connections);
    html_.setRequestInterval(interval);
  }
  void prefetch(const std::vector<std::u16string>& addresses) override { html_.prefetch(addresses); }
  void dropPrefetches() override { html_.dropPrefetches(); }
  int inFlight() const override { return html_.inFlight(); }
  std::u16string lastStarted() const override { return html_.lastStarted(); }
  void Cancel() override { html_.Cancel(); }

 private:
  fetcher::html html_;
};

}  // namespace harbek::crawler
