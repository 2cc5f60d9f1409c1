// The terminal's input as the key decoder sees it: any run of characters, key codes, mouse
// events and paste marks, read in two parts. Whatever arrives, typed text holds no control
// character or space, a paste holds no line break or control character (so nothing pasted
// can act as Enter, Tab, Escape or Space), and a paste ends at its end mark.
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
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
