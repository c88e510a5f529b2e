#include "platform/component/unknown.h"

namespace harbek::com {

std::atomic<long>& moduleUsage() {
  static std::atomic<long> usage{0};
  return usage;
}

}  // namespace harbek::com
