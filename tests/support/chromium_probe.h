// Opening a saved copy in headless Chromium, as a user would, from disk.
//
// The probe page opens a start page in a frame, then every page linked from
// it in turn: each style sheet and image of a page must have loaded, and
// every file: address its links, scripts and frames name must be there.
// Chromium runs with no network of its own (no background requests, no
// component updates) and a profile in a folder of the test's.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace harbek::testing {

// The chromium program on PATH; empty when there is none.
std::string findChromium();

struct BrowseReport {
  bool ran = false;
  std::string error;     // why chromium could not report, when it could not
  size_t visited = 0;    // pages opened
  std::string failures;  // one line per failed style sheet, image or link
};

// Opens the page at start (a file) and the pages it links to, with work as
// chromium's folder; a screenshot of the start page goes to screenshot when
// that is not empty.
BrowseReport browseOffline(const std::string& chromium, const std::filesystem::path& start,
                           const std::filesystem::path& work, const std::filesystem::path& screenshot = {});

}  // namespace harbek::testing
