#include "platform/render/terminal/key_decoder.h"

#include <curses.h>

namespace qb::render::terminal {

namespace {

constexpr char32_t kEscape = 0x1B;
constexpr char32_t kDelete = 0x7F;
constexpr char32_t kBackspace = 0x08;
constexpr char32_t kTab = 0x09;
constexpr char32_t kLineFeed = 0x0A;
constexpr char32_t kReturn = 0x0D;
constexpr char32_t kCtrlA = 0x01;
constexpr char32_t kCtrlZ = 0x1A;
constexpr char32_t kFirstC1 = 0x80;
constexpr char32_t kLastC1 = 0x9F;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;
constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr char32_t kFirstSupplementary = 0x10000;

bool IsPrintable(char32_t ch) {
    if (ch < 0x20 || ch == kDelete) return false;
    if (ch >= kFirstC1 && ch <= kLastC1) return false;
    if (ch >= kFirstSurrogate && ch <= kLastSurrogate) return false;
    return ch <= kLastCodePoint;
}

void AppendUtf16(std::u16string* out, char32_t ch) {
    if (ch < kFirstSupplementary) {
        out->push_back(static_cast<char16_t>(ch));
        return;
    }
    char32_t v = ch - kFirstSupplementary;
    out->push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
}

InputEvent KeyEvent(Key key, unsigned modifiers = kModNone) {
    InputEvent e;
    e.kind = InputEvent::Kind::kKey;
    e.key = key;
    e.modifiers = modifiers;
    return e;
}

InputEvent CharEvent(char32_t ch, unsigned modifiers) {
    InputEvent e;
    e.kind = InputEvent::Kind::kChar;
    e.modifiers = modifiers;
    AppendUtf16(&e.text, ch);
    return e;
}

// A control character or a key code as a key; false for those that mean nothing here.
bool SpecialKey(const RawKey& raw, InputEvent* out) {
    if (raw.kind == RawKey::Kind::kCharacter) {
        switch (raw.value) {
        case kTab:
            *out = KeyEvent(Key::kTab);
            return true;
        case kReturn:
        case kLineFeed:
            *out = KeyEvent(Key::kEnter);
            return true;
        case kBackspace:
        case kDelete:
            *out = KeyEvent(Key::kBackspace);
            return true;
        case kEscape:
            *out = KeyEvent(Key::kEscape);
            return true;
        default:
            break;
        }
        if (raw.value >= kCtrlA && raw.value <= kCtrlZ) {
            *out = CharEvent(U'a' + (raw.value - kCtrlA), kModCtrl);
            return true;
        }
        return false;
    }
    switch (static_cast<int>(raw.value)) {
    case KEY_BTAB:
        *out = KeyEvent(Key::kTab, kModShift);
        return true;
    case KEY_ENTER:
        *out = KeyEvent(Key::kEnter);
        return true;
    case KEY_BACKSPACE:
        *out = KeyEvent(Key::kBackspace);
        return true;
    case KEY_DC:
        *out = KeyEvent(Key::kDelete);
        return true;
    case KEY_SDC:
        *out = KeyEvent(Key::kDelete, kModShift);
        return true;
    case KEY_LEFT:
        *out = KeyEvent(Key::kLeft);
        return true;
    case KEY_RIGHT:
        *out = KeyEvent(Key::kRight);
        return true;
    case KEY_UP:
        *out = KeyEvent(Key::kUp);
        return true;
    case KEY_DOWN:
        *out = KeyEvent(Key::kDown);
        return true;
    case KEY_SLEFT:
        *out = KeyEvent(Key::kLeft, kModShift);
        return true;
    case KEY_SRIGHT:
        *out = KeyEvent(Key::kRight, kModShift);
        return true;
    case KEY_SR:
        *out = KeyEvent(Key::kUp, kModShift);
        return true;
    case KEY_SF:
        *out = KeyEvent(Key::kDown, kModShift);
        return true;
    case KEY_HOME:
        *out = KeyEvent(Key::kHome);
        return true;
    case KEY_END:
        *out = KeyEvent(Key::kEnd);
        return true;
    case KEY_SHOME:
        *out = KeyEvent(Key::kHome, kModShift);
        return true;
    case KEY_SEND:
        *out = KeyEvent(Key::kEnd, kModShift);
        return true;
    case KEY_PPAGE:
        *out = KeyEvent(Key::kPageUp);
        return true;
    case KEY_NPAGE:
        *out = KeyEvent(Key::kPageDown);
        return true;
    case KEY_RESIZE:
        out->kind = InputEvent::Kind::kResize;
        return true;
    default:
        return false;
    }
}

// Inside a paste: characters of its first line are text, a line break ends that line, and
// nothing else acts.
void TakePasted(const RawKey& raw, PasteState* paste, std::u16string* pasted) {
    if (raw.kind != RawKey::Kind::kCharacter || paste->lineEnded) return;
    if (raw.value == kReturn || raw.value == kLineFeed)
        paste->lineEnded = true;
    else if (IsPrintable(raw.value))
        AppendUtf16(pasted, raw.value);
}

} // namespace

std::vector<InputEvent> DecodeKeys(const RawKey* keys, size_t count, PasteState* paste) {
    PasteState alone;
    if (paste == nullptr) paste = &alone;
    std::vector<InputEvent> events;
    std::u16string text;
    std::u16string pasted;
    auto flush = [&](std::u16string* from, InputEvent::Kind kind) {
        if (from->empty()) return;
        InputEvent e;
        e.kind = kind;
        e.text.swap(*from);
        events.push_back(std::move(e));
    };
    auto flushText = [&] { flush(&text, InputEvent::Kind::kText); };
    for (size_t i = 0; i < count; ++i) {
        const RawKey& raw = keys[i];
        if (raw.kind == RawKey::Kind::kPasteStart) {
            flushText();
            *paste = PasteState{true, false};
            continue;
        }
        if (raw.kind == RawKey::Kind::kPasteEnd) {
            flush(&pasted, InputEvent::Kind::kPaste);
            *paste = PasteState{};
            continue;
        }
        if (paste->inside) {
            if (raw.kind == RawKey::Kind::kKeyCode && static_cast<int>(raw.value) == KEY_RESIZE) {
                flush(&pasted, InputEvent::Kind::kPaste);
                InputEvent resize;
                resize.kind = InputEvent::Kind::kResize;
                events.push_back(std::move(resize));
                continue;
            }
            TakePasted(raw, paste, &pasted);
            continue;
        }
        if (raw.kind == RawKey::Kind::kMouse) {
            if (raw.buttons & (BUTTON1_PRESSED | BUTTON1_CLICKED)) {
                flushText();
                InputEvent e;
                e.kind = InputEvent::Kind::kClick;
                e.column = raw.column;
                e.row = raw.row;
                events.push_back(e);
            }
            continue;
        }
        bool character = raw.kind == RawKey::Kind::kCharacter;
        if (character && raw.value == U' ') {
            flushText();
            events.push_back(KeyEvent(Key::kSpace));
            continue;
        }
        if (character && IsPrintable(raw.value)) {
            AppendUtf16(&text, raw.value);
            continue;
        }
        flushText();
        if (character && raw.value == kEscape && i + 1 < count &&
            keys[i + 1].kind == RawKey::Kind::kCharacter && IsPrintable(keys[i + 1].value)) {
            events.push_back(CharEvent(keys[i + 1].value, kModAlt));
            ++i;
            continue;
        }
        InputEvent e;
        if (SpecialKey(raw, &e)) events.push_back(std::move(e));
    }
    flushText();
    flush(&pasted, InputEvent::Kind::kPaste);
    return events;
}

int FeedEvents(const std::vector<InputEvent>& events) {
    int resizes = 0;
    for (const InputEvent& e : events) {
        switch (e.kind) {
        case InputEvent::Kind::kKey:
            FeedKey(e.key, e.modifiers);
            break;
        case InputEvent::Kind::kText:
            FeedText(e.text.data(), e.text.size());
            break;
        case InputEvent::Kind::kChar:
            // Alt or Ctrl with a character outside the basic plane means nothing to a dialog.
            if (e.text.size() == 1) FeedChar(e.text[0], e.modifiers);
            break;
        case InputEvent::Kind::kPaste:
            FeedPaste(e.text.data(), e.text.size());
            break;
        case InputEvent::Kind::kClick:
            FeedClick(e.column, e.row);
            break;
        case InputEvent::Kind::kResize:
            ++resizes;
            break;
        }
    }
    return resizes;
}

} // namespace qb::render::terminal
