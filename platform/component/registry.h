// The registry of classes: a text file, one class a line,
//   {CLSID}<TAB>ProgID<TAB>module path
// Module paths are written relative to the registry's folder (an absolute
// path in the file is taken as it stands), and entries read back carry them
// absolute again. Writers lock the file and replace it whole, so parallel
// registrations (a parallel build) never lose each other's lines.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/component/errors.h"
#include "platform/component/guid.h"

namespace harbek::com {

struct RegistryEntry {
  Guid clsid;
  std::string progId;
  std::string modulePath;
};

// HARBEK_REGISTRY, or components.reg in the folder of the running program,
// or, for an installed program, in ../lib/harbek/ from that folder.
std::string defaultRegistryPath();

// Every well-formed line of the file (none when it is missing). A file that
// is there but cannot be read gives none too, with why set to "cannot read
// FILE: REASON", so that it is not taken for a registry without the class.
std::vector<RegistryEntry> readRegistry(const std::string& path, std::string* why = nullptr);

// Replaces the entries with the same class identifier or ProgID and adds these.
HResult addRegistryEntries(const std::string& path, const std::vector<RegistryEntry>& entries);

// Removes the entries of these class identifiers.
HResult removeRegistryEntries(const std::string& path, const std::vector<Guid>& clsids);

std::optional<RegistryEntry> findByClsid(const std::vector<RegistryEntry>& entries, const Guid& clsid);
// ProgIDs compare without regard to letter case.
std::optional<RegistryEntry> findByProgId(const std::vector<RegistryEntry>& entries, const std::string& progId);

}  // namespace harbek::com
