// Where the crawl keeps what it fetched: the file of a URL, relative to the
// save folder.
//
//   host/dir/name         host and path in lower case; each segment of the
//                         path percent-decoded when it decodes to UTF-8, so
//                         "/%E6%96%87.html" and "/文.html" are one file
//                         "文.html" (escapes of "/", "?", "#", controls and
//                         of "." or ".." as a whole segment stay escaped)
//   host/dir/index.html   a path that ends in "/", and the bare host
//   host/list.php?page=2  a URL with a query: the query follows the name,
//                         its "/" escaped and its UTF-8 escapes decoded
//   NAME.html, NAME.css   a page (HTML by its Content-Type) whose name does
//                         not end in ".htm" or ".html", and a style sheet
//                         whose name does not end in ".css", unless the
//                         name's extension is another kind's (".png"): a
//                         browser opens them from disk for what they are
//   NAME/index.html       a file whose name is needed for a folder, or
//                         whose name a folder already has (the store moves
//                         it there when the folder comes second)
// A segment longer than kMaxSegmentBytes is cut short and ends in "~" and a
// digest of the whole segment, so two long names never meet.
//
// Copies made before these rules kept the path as written (escapes and all)
// and gave no page a suffix: localNameCandidates looks those names up too,
// so such a copy resumes and updates without fetching its files again.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace harbek::store {

inline constexpr size_t kMaxSegmentBytes = 200;

// The name of url's file before its response is known; empty when url is
// not http or https, or its file would lie outside the save folder or in the
// spill folder.
std::u16string localName(std::u16string_view url);

// The name a response with that Content-Type is saved under, from name.
std::u16string nameForContent(std::u16string name, std::u16string_view contentType);

// Every name url's file can have in a copy, in the order to look them up.
std::vector<std::u16string> localNameCandidates(std::u16string_view url);

// The first of the candidates that is a file under saveFolder.
std::optional<std::u16string> savedNameIn(const std::u16string& saveFolder, std::u16string_view url);

// url with every character the system code page cannot hold percent-encoded
// as UTF-8, so that a spill file or the queue journal keeps it exactly (a
// "?" in its place would turn a path into a query).
std::u16string codePageSafe(std::u16string_view url);

}  // namespace harbek::store
