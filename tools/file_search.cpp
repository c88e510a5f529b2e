#include "tools/file_search.h"

#include <vector>

#include "platform/text/text.h"
#include "store/site_data.h"

namespace harbek::tools {
namespace {

std::u16string lowerExtension(const std::string& name) {
  return text::toLower(store::SiteData::GetExtName(text::fromUtf8(name)));
}

}  // namespace

bool search(const std::string& root, const std::u16string& pattern, SearchView& view) {
  // A picked root ("/") already ends in the separator and gets no second one.
  const std::string folder = !root.empty() && root.back() == '/' ? root : root + "/";
  const std::u16string wanted = text::toLower(store::SiteData::GetExtName(pattern));

  std::vector<fs::Entry> entries;
  if (fs::Error e = fs::listFolder(folder, entries); e != fs::Error::kOk) {
    view.folderUnreadable(folder, e);
    return false;
  }
  // The folder's own files are all listed before any subfolder is entered.
  std::vector<std::string> subfolders;
  for (const fs::Entry& entry : entries) {
    view.pumpEvents();
    if (view.stopRequested()) return false;
    const std::string path = folder + entry.name;
    if (entry.isFolder) {
      if (!fs::isLink(path)) subfolders.push_back(entry.name);
    } else if (fs::isFile(path) && !store::isProgramFile(path) && (pattern.empty() || lowerExtension(path) == wanted)) {
      view.fileFound(path);
    }
  }
  bool complete = true;
  for (const std::string& name : subfolders) {
    if (view.stopRequested()) return false;
    view.enteringFolder(folder + name);
    complete = search(folder + name, pattern, view) && complete;
  }
  return complete;
}

}  // namespace harbek::tools
