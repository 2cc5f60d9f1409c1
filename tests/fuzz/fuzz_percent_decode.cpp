// Percent-decoding of command-line values: for any text, length and capacity the decoder
// stays within both, consumes at least a unit per unit produced, decodes a prefix of the
// same result when the room is smaller, and counts what it would write.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "base/StringUtil.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Decoded {
    DWORD produced;
    DWORD consumed;
    std::vector<char16_t> units;
};

// Decodes into a buffer of exactly capacity units (so that a write past it is caught; a
// capacity of 0 still gives a destination).
Decoded Decode(const std::u16string& source, DWORD available, DWORD capacity) {
    const std::unique_ptr<char16_t[]> buffer(new char16_t[capacity]);
    Decoded result;
    result.consumed = available;
    result.produced = StrPercentDecode(source.c_str(), &result.consumed, buffer.get(), capacity);
    FUZZ_CHECK(result.produced <= capacity);
    result.units.assign(buffer.get(), buffer.get() + result.produced);
    return result;
}

bool IsHex(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// consumed is all of the first available units, or stops after a "%" with one unit left.
bool ConsumedAll(const std::u16string& source, DWORD available, DWORD consumed) {
    if (consumed == available) return true;
    return consumed > 0 && consumed + 1 == available && source[consumed - 1] == u'%';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte chooses how much room the caller gives; the rest is the value.
    const DWORD smallCapacity = data[0];
    const std::u16string source = qb::fuzz::WideFromInput(data + 1, size - 1);
    const DWORD length = static_cast<DWORD>(source.size());

    // Unbounded room: the whole source is consumed, except the unit after a "%" that has
    // only one unit after it (that "%" ends the walk).
    const Decoded whole = Decode(source, length, length + 1);
    FUZZ_CHECK(ConsumedAll(source, length, whole.consumed));
    FUZZ_CHECK(whole.produced <= whole.consumed);

    // Counting only gives the same number.
    DWORD counted = length;
    FUZZ_CHECK(StrPercentDecode(source.c_str(), &counted, nullptr, 0) == whole.produced);
    FUZZ_CHECK(counted == whole.consumed);

    // Less room: a prefix of the same units, and never more than the room.
    const Decoded part = Decode(source, length, smallCapacity);
    FUZZ_CHECK(part.produced <= smallCapacity && part.produced <= whole.produced);
    FUZZ_CHECK(part.consumed <= length);
    for (DWORD i = 0; i < part.produced; ++i) FUZZ_CHECK(part.units[i] == whole.units[i]);
    if (part.produced < smallCapacity) {
        FUZZ_CHECK(part.produced == whole.produced);
    }

    // A shorter length never reads past it.
    const DWORD shorter = length / 2;
    const Decoded head = Decode(source, shorter, length + 1);
    FUZZ_CHECK(ConsumedAll(source, shorter, head.consumed));

    // Without "%" the text comes back as it is; well-formed escapes give their byte value.
    if (source.find(u'%') == std::u16string::npos) {
        FUZZ_CHECK(whole.produced == length);
        for (DWORD i = 0; i < length; ++i) FUZZ_CHECK(whole.units[i] == source[i]);
    }
    if (length == 3 && source[0] == u'%' && IsHex(source[1]) && IsHex(source[2])) {
        FUZZ_CHECK(whole.produced == 1 && whole.units[0] <= 0xFF);
    }
    return 0;
}
