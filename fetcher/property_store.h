// Where a control's properties are kept between runs.
//
// The host of a control (a window, or a settings file) hands the control a
// store. Values are variants: text, 16- and 32-bit integers, and flags for
// the boolean properties. Every value comes with its default, so that a store
// keeps only what differs from it.
#pragma once

#include <map>
#include <string>

#include "platform/component/variant.h"

namespace harbek::fetcher {

class PropertyStore {
 public:
  virtual ~PropertyStore() = default;

  // The value stored under key, or defaultValue when there is none.
  virtual com::Variant read(const std::u16string& key, const com::Variant& defaultValue) = 0;
  // Stores value under key; a value equal to defaultValue is not kept, and
  // whatever the store held under key before is dropped with it.
  virtual void write(const std::u16string& key, const com::Variant& value, const com::Variant& defaultValue) = 0;
};

// A store in memory, for tests and for hosts that persist nothing.
class MemoryPropertyStore : public PropertyStore {
 public:
  com::Variant read(const std::u16string& key, const com::Variant& defaultValue) override;
  void write(const std::u16string& key, const com::Variant& value, const com::Variant& defaultValue) override;

  const std::map<std::u16string, com::Variant>& values() const { return values_; }
  std::map<std::u16string, com::Variant>& values() { return values_; }

 private:
  std::map<std::u16string, com::Variant> values_;
};

}  // namespace harbek::fetcher
