#include "tools/convert_command.h"

#include <ostream>

#include "platform/fs/fs.h"

namespace harbek::tools {

PageObserver printingObserver(std::ostream& out, std::ostream& err) {
  return [&out, &err](const std::string& rel, const PageResult& result) {
    if (result.outcome == PageOutcome::kConverted) out << "converted " << rel << '\n';
    if (result.outcome == PageOutcome::kFailed) err << "failed " << rel << ": " << result.reason << '\n';
  };
}

void printSummary(const ConvertSummary& summary, std::ostream& out) {
  out << summary.converted << " pages converted, " << summary.unchanged << " already right, "
      << summary.failures.size() << " failed; " << summary.links.local << " links lead into the copy, "
      << summary.links.online << " made absolute web addresses\n";
}

int runConvertCommand(const std::string& dir, std::ostream& out, std::ostream& err) {
  if (!fs::isFolder(dir)) {
    err << "harbek: " << dir << " is not a folder\n";
    return 2;
  }
  const ConvertSummary summary = convertCopy(dir, printingObserver(out, err));
  printSummary(summary, out);
  return summary.ok() ? 0 : 1;
}

}  // namespace harbek::tools
