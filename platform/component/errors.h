// Error codes that cross component boundaries. A call returns one of these;
// nothing is ever thrown across a boundary.
#pragma once

#include <cstdint>
#include <string>

namespace harbek::com {

using HResult = int32_t;

constexpr HResult hr(uint32_t code) { return static_cast<HResult>(code); }

// Every code the components give, with its readable name: one table, read
// once for the constants below and once for errorMessage().
#define HARBEK_COM_ERRORS(X)                                                                    \
  X(kOk, 0x00000000, "Success")                                                                 \
  X(kFalse, 0x00000001, "Success (false)") /* success, with a negative answer */                \
  X(kInvalidArgument, 0x800A0005, "Invalid procedure call or argument")                         \
  X(kOverflow, 0x800A0006, "Overflow")                                                          \
  X(kOutOfMemory, 0x800A0007, "Out of memory")                                                  \
  X(kSubscriptOutOfRange, 0x800A0009, "Subscript out of range")                                 \
  X(kTypeMismatch, 0x800A000D, "Type mismatch")                                                 \
  X(kFileNotFound, 0x800A0035, "File not found")                                                \
  X(kPathNotFound, 0x800A004C, "Path not found")                                                \
  X(kPermissionDenied, 0x800A0046, "Permission denied")                                         \
  X(kDiskFull, 0x800A003D, "Disk full")                                                         \
  X(kFileIo, 0x800A0039, "Device I/O error")                                                    \
  X(kClassNotRegistered, 0x80040154, "Class not registered")                                    \
  X(kNoInterface, 0x80004002, "No such interface supported")                                    \
  X(kNotImplemented, 0x80004001, "Not implemented")                                             \
  X(kFail, 0x80004005, "Unspecified error")                                                     \
  X(kPointer, 0x80004003, "Invalid pointer")                                                    \
  X(kNoAggregation, 0x80040110, "Class does not support aggregation")                           \
  X(kMemberNotFound, 0x80020003, "Member not found")                                            \
  X(kUnknownName, 0x80020006, "Unknown name")                                                   \
  X(kBadParamCount, 0x8002000E, "Invalid number of parameters")                                 \
  X(kModuleNotFound, 0x8007007E, "The specified module could not be found")

#define HARBEK_COM_ERROR_CONSTANT(name, code, text) constexpr HResult name = hr(code);
HARBEK_COM_ERRORS(HARBEK_COM_ERROR_CONSTANT)
#undef HARBEK_COM_ERROR_CONSTANT

constexpr bool failed(HResult h) { return h < 0; }
constexpr bool succeeded(HResult h) { return h >= 0; }

// A readable name for a code ("Overflow", "Type mismatch", ...); a code of no
// component reads "Error 0x" and its eight hex digits.
std::string errorMessage(HResult code);

}  // namespace harbek::com
