// `harbek --convert-links DIR`: converts the links of a saved copy so that it
// browses offline (see link_converter.h).
#pragma once

#include <iosfwd>
#include <string>

#include "tools/link_converter.h"

namespace harbek::tools {

// Prints "converted PATH" for each page rewritten and, on err, "failed PATH:
// REASON", then the summary on out.
PageObserver printingObserver(std::ostream& out, std::ostream& err);
void printSummary(const ConvertSummary& summary, std::ostream& out);

// Returns 0 when every page was handled, 1 when some page or folder failed,
// 2 when DIR is not a folder.
int runConvertCommand(const std::string& dir, std::ostream& out, std::ostream& err);

}  // namespace harbek::tools
