// Fuzz target of the URL rules: the input is a page URL and a link found on
// it, in the system code page, separated by the first 0xFF byte. rightUrl
// gives empty text or an absolute "http://" URL, and its letter-case keeping
// twin differs from it in letter case only; resolving by scheme (https
// included) and the host and port rules take any text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "libs/url/web_url.h"
#include "platform/text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace harbek;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const size_t cut = bytes.find('\xFF');
  const std::u16string page = text::fromCodePage(bytes.substr(0, cut));
  const std::u16string link = cut == std::string_view::npos ? std::u16string() : text::fromCodePage(bytes.substr(cut + 1));

  const std::u16string resolved = url::rightUrl(page, link);
  if (!resolved.empty() && !resolved.starts_with(u"http://")) std::abort();
  if (text::toLower(url::rightUrlKeepCase(page, link)) != resolved) std::abort();
  url::rightUrl(page, link, url::Dialect::kCorvin);
  url::resolveLinkKeepCase(page, link);
  url::siteOf(link);
  com::Variant port;
  url::getPort(link, port);
  return 0;
}
