// Conversions between UTF-16 and an iconv code set, with the Windows replacement rules.
#pragma once

#include <cstddef>
#include <string>

namespace qb::kernel {

enum class ConvertResult {
    kExact,     // every character converted
    kReplaced,  // some input was replaced (U+FFFD or the default character)
    kNoCodeSet, // iconv does not know the code set
};

// Input bytes that are not a character of codeSet become U+FFFD, one per byte.
ConvertResult IconvToUtf16(const std::string& codeSet, const char* in, size_t length,
                           std::u16string& out);

// A character that codeSet can't express (or a lone surrogate) becomes defaultChar.
ConvertResult IconvFromUtf16(const std::string& codeSet, const char16_t* in, size_t length,
                             const std::string& defaultChar, std::string& out);

} // namespace qb::kernel
