// UTF-8 <-> UTF-16 as Windows converts CP_UTF8: each maximal ill-formed subsequence of the
// input becomes one U+FFFD, and so does a lone surrogate of UTF-16 input.
#pragma once

#include <cstddef>
#include <string>

namespace qb::kernel {

inline constexpr char16_t kReplacementCharacter = 0xFFFD;

// Appends the conversion to out; returns false when some input was ill-formed (and
// replaced). May throw std::bad_alloc; callers at the API boundary catch it.
bool AppendUtf8AsUtf16(const char* in, size_t length, std::u16string& out);
bool AppendUtf16AsUtf8(const char16_t* in, size_t length, std::string& out);

// One scalar value (at most U+10FFFF, not a surrogate) as UTF-8.
void AppendScalarAsUtf8(char32_t scalar, std::string& out);

// Whole-text helpers for file names and other platform texts.
std::string Utf16ToUtf8(const char16_t* in, size_t length);
std::u16string Utf8ToUtf16(const std::string& in);

} // namespace qb::kernel
