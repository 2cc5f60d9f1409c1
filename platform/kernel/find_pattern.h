// Windows' matching of FindFirstFileW patterns against one name.
#pragma once

#include <string_view>

namespace qb::kernel {

// "*" matches any run of characters; "?" one character other than ".", or nothing at the
// end of the name or before a "."; "*.*" matches every name and "*." the names without a
// dot; a "." before "*" or "?" or at the end of the pattern also matches the end of a
// name ("readme.*" matches "readme"). Other characters match themselves exactly.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view name);

bool HasWildcards(std::u16string_view pattern);

} // namespace qb::kernel
