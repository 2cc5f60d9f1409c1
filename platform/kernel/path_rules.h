// What Windows accepts in one component of a path.
#pragma once

#include <string_view>

namespace qb::kernel {

// False for an empty component, a character Windows refuses in names (< > : " | and
// U+0001 to U+001F), a lone surrogate, and "*" or "?" unless wildcards are allowed.
bool IsValidComponent(std::u16string_view component, bool wildcardsAllowed);

inline bool IsPathSeparator(char16_t unit) {
    return unit == u'\\' || unit == u'/';
}

} // namespace qb::kernel
