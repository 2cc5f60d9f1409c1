#include "platform/kernel/utf8_codec.h"

namespace qb::kernel {
namespace {

constexpr char32_t kMaxScalar = 0x10FFFF;

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The well-formed second-byte range of a sequence starting with lead, and the sequence
// length; length 0 for a byte that can't start a sequence.
struct LeadInfo {
    int length;
    unsigned char secondLow;
    unsigned char secondHigh;
};

LeadInfo LeadOf(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
    if (lead == 0xE0) return {3, 0xA0, 0xBF};
    if (lead == 0xED) return {3, 0x80, 0x9F}; // no encoded surrogates
    if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
    if (lead == 0xF0) return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
    if (lead == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

void AppendScalar(char32_t c, std::u16string& out) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

} // namespace

void AppendScalarAsUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

namespace {} // namespace

bool AppendUtf8AsUtf16(const char* in, size_t length, std::u16string& out) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(in);
    bool wellFormed = true;
    size_t i = 0;
    while (i < length) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        const LeadInfo info = LeadOf(lead);
        char32_t scalar = lead & (0xFF >> (info.length + 1));
        size_t taken = 1;
        bool complete = info.length > 0;
        for (int k = 1; complete && k < info.length; ++k) {
            if (i + taken >= length) {
                complete = false;
                break;
            }
            const unsigned char next = bytes[i + taken];
            const bool inRange =
                k == 1 ? (next >= info.secondLow && next <= info.secondHigh) : IsContinuation(next);
            if (!inRange) {
                complete = false;
                break;
            }
            scalar = (scalar << 6) | (next & 0x3F);
            ++taken;
        }
        if (complete && scalar <= kMaxScalar) {
            AppendScalar(scalar, out);
        } else {
            out.push_back(kReplacementCharacter);
            wellFormed = false;
        }
        i += taken;
    }
    return wellFormed;
}

bool AppendUtf16AsUtf8(const char16_t* in, size_t length, std::string& out) {
    bool wellFormed = true;
    for (size_t i = 0; i < length; ++i) {
        const char16_t unit = in[i];
        char32_t scalar = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            scalar = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(in[i + 1]) - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            scalar = kReplacementCharacter;
            wellFormed = false;
        }
        AppendScalarAsUtf8(scalar, out);
    }
    return wellFormed;
}

std::string Utf16ToUtf8(const char16_t* in, size_t length) {
    std::string out;
    AppendUtf16AsUtf8(in, length, out);
    return out;
}

std::u16string Utf8ToUtf16(const std::string& in) {
    std::u16string out;
    AppendUtf8AsUtf16(in.data(), in.size(), out);
    return out;
}

} // namespace qb::kernel
