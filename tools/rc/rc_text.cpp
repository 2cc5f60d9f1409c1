#include "tools/rc/rc_text.h"

#include <cstdint>

namespace qb::rc {

bool utf8ToUtf16(std::string_view utf8, std::u16string* out) {
    out->clear();
    size_t i = 0;
    while (i < utf8.size()) {
        uint32_t c = static_cast<unsigned char>(utf8[i]);
        size_t extra;
        uint32_t minimum;
        if (c < 0x80) {
            extra = 0;
            minimum = 0;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            minimum = 0x80;
            c &= 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            minimum = 0x800;
            c &= 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            minimum = 0x10000;
            c &= 0x07;
        } else {
            return false;
        }
        if (utf8.size() - i <= extra) return false; // the sequence is cut off
        for (size_t k = 1; k <= extra; ++k) {
            uint32_t b = static_cast<unsigned char>(utf8[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            c = (c << 6) | (b & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(c));
        }
        i += extra + 1;
    }
    return true;
}

} // namespace qb::rc
