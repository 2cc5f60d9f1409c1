// Shared by the fuzz targets: how an input becomes the text a target wants, and the check
// that turns a broken invariant into a crash the fuzzer records (and the corpus test reports).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Stops the run with a message when an invariant of the code under test does not hold.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace qb::fuzz {

// The input read as UTF-8, so that seeds are plain text. A byte that does not begin a
// well-formed sequence becomes the unit of its own value, and 0xF0.. sequences become
// surrogate pairs, so every UTF-16 unit (lone surrogates and controls included) can be
// reached. NUL bytes are kept: the code under test sees the text up to the first one.
inline std::u16string WideFromInput(const uint8_t* data, size_t size) {
    std::u16string text;
    text.reserve(size);
    size_t i = 0;
    while (i < size) {
        const uint8_t lead = data[i];
        size_t extra = 0;
        uint32_t code = lead;
        if (lead >= 0xC0 && lead < 0xE0) {
            extra = 1;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            extra = 2;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead < 0xF8) {
            extra = 3;
            code = lead & 0x07u;
        }
        bool wellFormed = i + extra < size;
        for (size_t k = 1; wellFormed && k <= extra; ++k) {
            if ((data[i + k] & 0xC0) != 0x80) {
                wellFormed = false;
            } else {
                code = (code << 6) | (data[i + k] & 0x3Fu);
            }
        }
        if (extra == 0 || !wellFormed || code > 0x10FFFF) {
            text.push_back(static_cast<char16_t>(lead));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(code));
        }
        i += extra + 1;
    }
    return text;
}

// The length of a zero-terminated UTF-16 text.
inline size_t WideLength(const char16_t* text) {
    size_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

} // namespace qb::fuzz
