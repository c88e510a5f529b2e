// The platform error code of a file-system error, for component boundaries.
#pragma once

#include "platform/component/errors.h"
#include "platform/fs/fs.h"

namespace harbek::com {

HResult fromFsError(fs::Error e);

}  // namespace harbek::com
