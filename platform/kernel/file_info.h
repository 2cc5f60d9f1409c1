// Win32 file attributes and times from stat.
#pragma once

#include <sys/stat.h>

#include "win/kernel.h"

namespace qb::kernel {

// FILE_ATTRIBUTE_DIRECTORY for a directory; FILE_ATTRIBUTE_READONLY for a file its owner
// may not write; FILE_ATTRIBUTE_NORMAL for any other file.
DWORD AttributesFromStat(const struct stat& info);

// Hundreds of nanoseconds since 1601-01-01, as FILETIME counts.
FILETIME FileTimeFromTimespec(const struct timespec& time);

} // namespace qb::kernel
