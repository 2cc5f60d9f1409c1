// UTF-8 script text to the UTF-16 that resources hold.
#pragma once

#include <string>
#include <string_view>

namespace qb::rc {

// False for malformed UTF-8 (bad sequences, overlong forms, surrogates, beyond U+10FFFF).
bool utf8ToUtf16(std::string_view utf8, std::u16string* out);

} // namespace qb::rc
