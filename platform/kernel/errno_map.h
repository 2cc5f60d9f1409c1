// Host errors as the Win32 error codes that GetLastError reports.
#pragma once

#include <string>

#include "win/types.h"

namespace qb::kernel {

DWORD ErrorFromErrno(int error);

// For a name that does not exist: ERROR_FILE_NOT_FOUND when its directory exists,
// ERROR_PATH_NOT_FOUND when the directory is missing too, as Windows tells them apart.
DWORD MissingNameError(const std::string& hostPath);

// Sets the last error and returns FALSE, the common failure of the BOOL functions.
BOOL FailWith(DWORD error);

} // namespace qb::kernel
