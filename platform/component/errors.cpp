#include "platform/component/errors.h"

#include <cstdio>

namespace harbek::com {

std::string errorMessage(HResult code) {
  struct Entry {
    HResult code;
    const char* text;
  };
  static constexpr Entry kTable[] = {
      {kOk, "Success"},
      {kFalse, "Success (false)"},
      {kInvalidArgument, "Invalid procedure call or argument"},
      {kOverflow, "Overflow"},
      {kOutOfMemory, "Out of memory"},
      {kSubscriptOutOfRange, "Subscript out of range"},
      {kTypeMismatch, "Type mismatch"},
      {kFileNotFound, "File not found"},
      {kPathNotFound, "Path not found"},
      {kPermissionDenied, "Permission denied"},
      {kDiskFull, "Disk full"},
      {kFileIo, "Device I/O error"},
      {kClassNotRegistered, "Class not registered"},
      {kNoInterface, "No such interface supported"},
      {kNotImplemented, "Not implemented"},
      {kFail, "Unspecified error"},
      {kPointer, "Invalid pointer"},
      {kNoAggregation, "Class does not support aggregation"},
      {kMemberNotFound, "Member not found"},
      {kUnknownName, "Unknown name"},
      {kBadParamCount, "Invalid number of parameters"},
      {kModuleNotFound, "The specified module could not be found"},
  };
  for (const auto& e : kTable)
    if (e.code == code) return e.text;
  char buf[32];
  std::snprintf(buf, sizeof buf, "Error 0x%08X", static_cast<uint32_t>(code));
  return buf;
}

}  // namespace harbek::com
