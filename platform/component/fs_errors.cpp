#include "platform/component/fs_errors.h"

namespace harbek::com {

HResult fromFsError(fs::Error e) {
  switch (e) {
    case fs::Error::kOk: return kOk;
    case fs::Error::kNotFound: return kFileNotFound;
    case fs::Error::kNotFolder: return kPathNotFound;
    case fs::Error::kIsFolder:
    case fs::Error::kNotFile:
    case fs::Error::kExists:
    case fs::Error::kDenied:
    case fs::Error::kReadOnly: return kPermissionDenied;
    case fs::Error::kNoSpace: return kDiskFull;
    case fs::Error::kNameTooLong:
    case fs::Error::kInvalidPath: return kPathNotFound;
    case fs::Error::kDeviceIo:
    case fs::Error::kIo: return kFileIo;
  }
  return kFail;
}

}  // namespace harbek::com
