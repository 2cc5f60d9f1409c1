// Reads standard and extended menu template bytes (MENUITEMTEMPLATEHEADER and items, or
// MENUEX_TEMPLATE_HEADER and items) within `size` bytes; null when they are malformed.
#pragma once

#include <cstddef>

#include <windows.h>

namespace qb::user {

HMENU LoadMenuFromBytes(const void* bytes, size_t size);

} // namespace qb::user
