// Error codes that cross component boundaries. A call returns one of these;
// nothing is ever thrown across a boundary.
#pragma once

#include <cstdint>
#include <string>

namespace harbek::com {

using HResult = int32_t;

constexpr HResult hr(uint32_t code) { return static_cast<HResult>(code); }

constexpr HResult kOk = 0;
constexpr HResult kFalse = 1;  // success, with a negative answer (may-unload)
constexpr HResult kInvalidArgument = hr(0x800A0005);    // invalid procedure call or argument
constexpr HResult kOverflow = hr(0x800A0006);
constexpr HResult kOutOfMemory = hr(0x800A0007);
constexpr HResult kSubscriptOutOfRange = hr(0x800A0009);
constexpr HResult kTypeMismatch = hr(0x800A000D);
constexpr HResult kFileNotFound = hr(0x800A0035);
constexpr HResult kPathNotFound = hr(0x800A004C);
constexpr HResult kPermissionDenied = hr(0x800A0046);
constexpr HResult kDiskFull = hr(0x800A003D);
constexpr HResult kFileIo = hr(0x800A0039);              // device I/O error
constexpr HResult kClassNotRegistered = hr(0x80040154);
constexpr HResult kNoInterface = hr(0x80004002);
constexpr HResult kNotImplemented = hr(0x80004001);
constexpr HResult kFail = hr(0x80004005);
constexpr HResult kPointer = hr(0x80004003);
constexpr HResult kNoAggregation = hr(0x80040110);
constexpr HResult kMemberNotFound = hr(0x80020003);
constexpr HResult kUnknownName = hr(0x80020006);
constexpr HResult kBadParamCount = hr(0x8002000E);
constexpr HResult kModuleNotFound = hr(0x8007007E);     // the module file cannot be loaded

constexpr bool failed(HResult h) { return h < 0; }
constexpr bool succeeded(HResult h) { return h >= 0; }

// A readable name for a code ("Overflow", "Type mismatch", ...).
std::string errorMessage(HResult code);

}  // namespace harbek::com
