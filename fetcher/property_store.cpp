#include "fetcher/property_store.h"

namespace harbek::fetcher {

com::Variant MemoryPropertyStore::read(const std::u16string& key, const com::Variant& defaultValue) {
  auto it = values_.find(key);
  return it == values_.end() ? defaultValue : it->second;
}

void MemoryPropertyStore::write(const std::u16string& key, const com::Variant& value,
                                const com::Variant& defaultValue) {
  if (value == defaultValue) {
    values_.erase(key);
  } else {
    values_[key] = value;
  }
}

}  // namespace harbek::fetcher
