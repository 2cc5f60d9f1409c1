// Hard cases of UTF-8 and UTF-16 text and what a CP_UTF8 conversion makes of them: each
// maximal ill-formed subpart of UTF-8 becomes one U+FFFD, and so does a lone surrogate of
// UTF-16. Noncharacters are well formed and pass unchanged. Every test that feeds text
// through a converter takes its hard cases from here.
#pragma once

#include <string_view>

namespace qb::test {

struct Utf8Case {
    const char* name;
    std::string_view utf8;
    std::u16string_view utf16;
    bool wellFormed;
};

inline constexpr Utf8Case kUtf8Cases[] = {
    {"Japanese", "日本語", u"日本語", true},
    {"SurrogatePair", "\xF0\x9F\x98\x80", u"\U0001F600", true},
    {"PairBetweenText",
     "a\xF0\xA0\x80\x8B"
     "b",
     u"a\U0002000Bb", true},
    {"LastScalar", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", true},
    {"NoncharacterFFFE", "\xEF\xBF\xBE", u"\uFFFE", true},
    {"NoncharacterFDD0", "\xEF\xB7\x90", u"\uFDD0", true},
    {"LoneContinuation", "\x80", u"\uFFFD", false},
    {"TruncatedAtEnd", "a\xE3\x81", u"a\uFFFD", false},
    {"TruncatedBeforeAscii",
     "\xE3\x81"
     "A",
     u"\uFFFDA", false},
    {"TruncatedPair", "\xF0\x9F\x98", u"\uFFFD", false},
    {"Overlong2", "\xC0\xAF", u"\uFFFD\uFFFD", false},
    {"Overlong3", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD", false},
    {"Overlong4", "\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
    {"EncodedSurrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},
    {"EncodedSurrogatePair", "\xED\xA0\xBD\xED\xB8\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD",
     false},
    {"BeyondLastScalar", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
    {"ByteFF",
     "\xFF"
     "b",
     u"\uFFFDb", false},
};

struct Utf16Case {
    const char* name;
    std::u16string_view utf16;
    std::string_view utf8;
    bool wellFormed;
};

inline constexpr Utf16Case kUtf16Cases[] = {
    {"SurrogatePair", u"\xD83D\xDE00", "\xF0\x9F\x98\x80", true},
    {"NoncharacterFFFF", u"\uFFFF", "\xEF\xBF\xBF", true},
    {"LoneHigh", u"a\xD800z", "a\xEF\xBF\xBDz", false},
    {"LoneLow", u"\xDC00", "\xEF\xBF\xBD", false},
    {"HighAtEnd", u"x\xD83D", "x\xEF\xBF\xBD", false},
    {"PairReversed", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD", false},
};

} // namespace qb::test
