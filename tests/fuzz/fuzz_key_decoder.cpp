// The terminal's input as the key decoder sees it: any run of characters, key codes, mouse
// events and paste marks, read in two parts. Whatever arrives, typed text holds no control
// character or space, a paste holds no line break or control character (so nothing pasted
// can act as Enter, Tab, Escape or Space), and a paste ends at its end mark. The same bytes
// also spell an escape sequence between two letters: whatever its parameters and final byte,
// it yields at most one key and never text, complete or cut short.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/render/terminal/key_decoder.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using qb::render::terminal::DecodeKeys;
using qb::render::terminal::InputEvent;
using qb::render::terminal::PasteState;
using qb::render::terminal::RawKey;

constexpr size_t kBytesPerKey = 3;
constexpr char32_t kSpace = 0x20;
constexpr char32_t kDelete = 0x7F;

// Three bytes a key: its kind (and for characters the plane), then 16 bits of value.
RawKey KeyFromBytes(const uint8_t* bytes) {
    RawKey key;
    const char32_t value = bytes[1] | (static_cast<char32_t>(bytes[2]) << 8);
    switch (bytes[0] % 5) {
    case 0:
        key.kind = RawKey::Kind::kCharacter;
        key.value = value | (static_cast<char32_t>(bytes[0] / 5 % 17) << 16);
        break;
    case 1:
        key.kind = RawKey::Kind::kKeyCode;
        key.value = value;
        break;
    case 2:
        key.kind = RawKey::Kind::kMouse;
        key.column = bytes[1];
        key.row = bytes[2];
        key.buttons = static_cast<unsigned long>(bytes[0]) << 1;
        break;
    case 3:
        key.kind = RawKey::Kind::kPasteStart;
        break;
    default:
        key.kind = RawKey::Kind::kPasteEnd;
        break;
    }
    return key;
}

void CheckEvents(const std::vector<InputEvent>& events, size_t keys) {
    FUZZ_CHECK(events.size() <= keys + 2);
    for (const InputEvent& e : events) {
        if (e.kind != InputEvent::Kind::kText && e.kind != InputEvent::Kind::kPaste) continue;
        FUZZ_CHECK(!e.text.empty());
        for (char16_t unit : e.text) {
            FUZZ_CHECK(unit >= kSpace && unit != kDelete);
            FUZZ_CHECK(e.kind == InputEvent::Kind::kPaste || unit != kSpace);
        }
    }
}

constexpr char32_t kEscape = 0x1B;
constexpr char32_t kParameterBytes = 0x20; // 0x20-0x3F: intermediates and parameters
constexpr char32_t kFinalBytes = 0x3F;     // 0x40-0x7E
constexpr char32_t kBefore = U'a';
constexpr char32_t kAfter = U'z';

// ESC, "[" or "O", then each byte as a parameter byte, the last (when `complete`) as a final
// byte, with a letter before and after.
void CheckSequence(const uint8_t* data, size_t size, bool complete) {
    std::vector<RawKey> keys;
    auto character = [&](char32_t value) {
        RawKey key;
        key.value = value;
        keys.push_back(key);
    };
    character(kBefore);
    character(kEscape);
    character(data[0] & 1 ? U'O' : U'[');
    for (size_t i = 1; i < size; ++i) {
        const bool final = complete && i + 1 == size;
        character(final ? 0x40 + data[i] % kFinalBytes : kParameterBytes + data[i] % 0x20);
    }
    // An X10 mouse report ("CSI M") owns the three characters after it.
    const bool mouseReport = complete && !(data[0] & 1) && size == 2 && keys.back().value == U'M';
    const size_t after = complete ? 4 : 0;
    for (size_t i = 0; i < after; ++i) character(kAfter);
    const std::vector<InputEvent> events = DecodeKeys(keys.data(), keys.size());
    size_t keyEvents = 0;
    std::u16string text;
    for (const InputEvent& e : events) {
        FUZZ_CHECK(e.kind == InputEvent::Kind::kKey || e.kind == InputEvent::Kind::kText ||
                   (e.kind == InputEvent::Kind::kChar && size == 1 && !complete) ||
                   e.kind == InputEvent::Kind::kClick);
        if (e.kind == InputEvent::Kind::kKey || e.kind == InputEvent::Kind::kClick) ++keyEvents;
        if (e.kind == InputEvent::Kind::kText) text += e.text;
    }
    FUZZ_CHECK(keyEvents <= 1);
    FUZZ_CHECK(text == (!complete ? u"a" : mouseReport ? u"az" : u"azzzz"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (size > 1) CheckSequence(data, size, true); // the last byte is its final byte
    CheckSequence(data, size, false);
    std::vector<RawKey> keys;
    for (size_t at = 1; at + kBytesPerKey <= size; at += kBytesPerKey)
        keys.push_back(KeyFromBytes(data + at));
    // The first byte decides where the first read ends.
    const size_t split = keys.empty() ? 0 : data[0] % (keys.size() + 1);
    PasteState paste;
    CheckEvents(DecodeKeys(keys.data(), split, &paste), split);
    CheckEvents(DecodeKeys(keys.data() + split, keys.size() - split, &paste), keys.size() - split);
    // After the last mark the paste is open exactly when that mark was a start.
    for (size_t i = keys.size(); i > 0; --i) {
        const RawKey::Kind kind = keys[i - 1].kind;
        if (kind != RawKey::Kind::kPasteStart && kind != RawKey::Kind::kPasteEnd) continue;
        FUZZ_CHECK(paste.inside == (kind == RawKey::Kind::kPasteStart));
        break;
    }
    return 0;
}
