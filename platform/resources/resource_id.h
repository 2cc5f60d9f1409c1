// Reading a Win32 resource name (MAKEINTRESOURCEW(id) or the text "#id") as an id.
#pragma once

#include "win/types.h"

namespace qb::resources {

// False for names that are texts other than "#" and a decimal number from 1 to 65535.
bool ResourceIdOf(LPCWSTR name, WORD* id);

} // namespace qb::resources
