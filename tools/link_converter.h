// Link conversion: makes a saved copy browse offline, beside the byte-exact
// copy the crawler writes.
//
// In each saved HTML page and CSS file, every link (see link_finder.h) that
// leads to a file of the copy becomes the relative path from the page's own
// file to that file; every other link that is not written as an absolute
// http or https URL yet becomes one, so it still works online. Fragments are
// kept. Nothing else of a page changes: the values are replaced in the bytes
// as they stand, in the page's own encoding, inside their own quotes.
//
// Converting is idempotent: a converted link leads to the same file again,
// and an absolute URL to a file the copy does not hold is left as written.
// A page that would not change is not written; a changed one is written to a
// temporary file that replaces it. Symbolic links are never followed, and
// nothing is written outside the save folder.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace harbek::tools {

enum class PageKind { kNone, kHtml, kCss };

// What a saved file is, by its name, and, for a name without an extension,
// by how its content starts.
PageKind pageKindOf(std::string_view rel, std::string_view bytes);

struct LinkCounts {
  size_t local = 0;   // leading to a file of the copy
  size_t online = 0;  // made an absolute URL
};

// The page's bytes with its links converted. rel is the page's path under
// saveFolder (host/path, UTF-8), which gives its URL.
std::string convertLinks(std::string_view bytes, PageKind kind, const std::string& saveFolder,
                         const std::string& rel, LinkCounts& counts);

enum class PageOutcome { kConverted, kUnchanged, kSkipped, kFailed };

struct PageResult {
  PageOutcome outcome = PageOutcome::kUnchanged;
  std::string reason;  // for kSkipped and kFailed
  LinkCounts links;
};

// Converts the file at saveFolder/rel in place.
PageResult convertPage(const std::string& saveFolder, const std::string& rel);

struct ConvertSummary {
  size_t converted = 0;
  size_t unchanged = 0;
  size_t skipped = 0;
  LinkCounts links;
  std::vector<std::pair<std::string, std::string>> failures;  // path, reason
  bool ok() const { return failures.empty(); }
};

// Told of every file handled (path relative to the save folder).
using PageObserver = std::function<void(const std::string& rel, const PageResult& result)>;

// The pages of one crawl run (paths relative to saveFolder, as saved).
ConvertSummary convertPages(const std::string& saveFolder, const std::vector<std::string>& rels,
                            const PageObserver& observer = {});

// Every page of a copy, its spill folder "tmp" aside. A folder that cannot
// be listed counts as a failure; the rest is still converted.
ConvertSummary convertCopy(const std::string& saveFolder, const PageObserver& observer = {});

}  // namespace harbek::tools
