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
    case KEY_F(4):
        *out = KeyEvent(Key::kF4);
        return true;
    case KEY_RESIZE:
        out->kind = InputEvent::Kind::kResize;
        return true;
    default:
        return false;
    }
}

// xterm's key sequences: ESC, then "[" (CSI) or "O" (SS3), parameter and intermediate bytes,
// and one final byte. Whatever their spelling, no byte of one is ever typed as text.
constexpr char32_t kCsi = U'[';
constexpr char32_t kSs3 = U'O';
constexpr char32_t kFirstParameterByte = 0x20; // intermediates 0x20-0x2F, parameters 0x30-0x3F
constexpr char32_t kLastParameterByte = 0x3F;
constexpr char32_t kFirstFinalByte = 0x40;
constexpr char32_t kLastFinalByte = 0x7E;
// xterm's modifier parameter is 1 plus Shift 1, Alt 2, Ctrl 4, Meta 8.
constexpr unsigned kLastModifierParameter = 16;
constexpr unsigned kModifierShift = 1;
constexpr unsigned kModifierAlt = 2;
constexpr unsigned kModifierCtrl = 4;
constexpr size_t kMaxParameters = 2;
constexpr unsigned kMaxParameterValue = 999;

bool IsCharacter(const RawKey& raw, char32_t low, char32_t high) {
    return raw.kind == RawKey::Kind::kCharacter && raw.value >= low && raw.value <= high;
}

// keys[at] is ESC. How many keys the sequence it introduces spans (0: none introduced), and
// whether it ends in its final byte; one cut short ends before the key that cannot be in it.
size_t SequenceLength(const RawKey* keys, size_t count, size_t at, bool* complete) {
    *complete = false;
    if (at + 1 >= count || keys[at + 1].kind != RawKey::Kind::kCharacter ||
        (keys[at + 1].value != kCsi && keys[at + 1].value != kSs3))
        return 0;
    size_t end = at + 2;
    while (end < count && IsCharacter(keys[end], kFirstParameterByte, kLastParameterByte)) ++end;
    if (end < count && IsCharacter(keys[end], kFirstFinalByte, kLastFinalByte)) {
        *complete = true;
        ++end;
    }
    return end - at;
}

unsigned ModifiersOf(unsigned parameter) {
    unsigned bits = parameter - 1;
    unsigned modifiers = kModNone;
    if (bits & kModifierShift) modifiers |= kModShift;
    if (bits & kModifierAlt) modifiers |= kModAlt;
    if (bits & kModifierCtrl) modifiers |= kModCtrl;
    return modifiers;
}

// The key of the "~" form's number: both Home/End families (1/4 and 7/8) and the editing keys.
bool TildeKey(unsigned number, Key* key) {
    switch (number) {
    case 1:
    case 7:
        *key = Key::kHome;
        return true;
    case 4:
    case 8:
        *key = Key::kEnd;
        return true;
    case 3:
        *key = Key::kDelete;
        return true;
    case 5:
        *key = Key::kPageUp;
        return true;
    case 6:
        *key = Key::kPageDown;
        return true;
    case 14: // F4 in the rxvt family
        *key = Key::kF4;
        return true;
    default:
        return false;
    }
}

bool LetterKey(char32_t final, Key* key) {
    switch (final) {
    case U'A':
        *key = Key::kUp;
        return true;
    case U'B':
        *key = Key::kDown;
        return true;
    case U'C':
        *key = Key::kRight;
        return true;
    case U'D':
        *key = Key::kLeft;
        return true;
    case U'H':
        *key = Key::kHome;
        return true;
    case U'F':
        *key = Key::kEnd;
        return true;
    case U'S': // F4: SS3 S, modified CSI 1;m S
        *key = Key::kF4;
        return true;
    default:
        return false;
    }
}

// The key a complete sequence stands for: CSI or SS3 with A-D, H, F (modified as "1;m", or
// SS3's bare "m"), CSI "n~" and "n;m~", CSI Z (Shift+Tab). False for any other.
bool SequenceKey(const RawKey* keys, size_t length, InputEvent* out) {
    const bool csi = keys[1].value == kCsi;
    const char32_t final = keys[length - 1].value;
    unsigned numbers[kMaxParameters] = {};
    size_t given = 0;
    bool digits = false;
    for (size_t i = 2; i + 1 < length; ++i) {
        const char32_t ch = keys[i].value;
        if (ch == U';') {
            if (!digits || given + 1 >= kMaxParameters) return false;
            ++given;
            digits = false;
        } else if (ch >= U'0' && ch <= U'9') {
            numbers[given] = numbers[given] * 10 + static_cast<unsigned>(ch - U'0');
            if (numbers[given] > kMaxParameterValue) return false;
            digits = true;
        } else {
            return false; // private markers, intermediates: nothing a key sends here
        }
    }
    if (digits)
        ++given;
    else if (given > 0)
        return false; // a trailing ";"
    Key key = Key::kEnter;
    unsigned modifier = 1;
    if (csi && final == U'~') {
        if (given == 0 || !TildeKey(numbers[0], &key)) return false;
        if (given == 2) modifier = numbers[1];
    } else if (LetterKey(final, &key)) {
        if (given == 2 && numbers[0] == 1)
            modifier = numbers[1];
        else if (given == 1 && !csi)
            modifier = numbers[0];
        else if (given != 0)
            return false;
    } else if (csi && final == U'Z' && given == 0) {
        *out = KeyEvent(Key::kTab, kModShift);
        return true;
    } else {
        return false;
    }
    if (modifier < 1 || modifier > kLastModifierParameter) return false;
    *out = KeyEvent(key, ModifiersOf(modifier));
    return true;
}

// xterm's mouse report where ncurses does not read it itself (another TERM's mouse format):
// "CSI M" and three characters, the button and the cell's column and row, each plus 32.
constexpr size_t kMouseReportLength = 3; // ESC [ M
constexpr size_t kMouseReportBytes = 3;
constexpr char32_t kMouseOffset = 32;
constexpr char32_t kMouseButtonBits = 3;   // 0 is the left button's press
constexpr char32_t kMouseOtherBits = 0x60; // motion, wheel and extra buttons

// Whether the complete sequence of `length` keys at `keys` is "CSI M", which owns the next
// kMouseReportBytes keys.
bool IsMouseReport(const RawKey* keys, size_t length) {
    return length == kMouseReportLength && keys[1].value == kCsi && keys[2].value == U'M';
}

bool MouseReport(const RawKey* keys, size_t count, InputEvent* out) {
    if (count < kMouseReportBytes) return false;
    // The button's character is 32 and more, a cell's 33 and more (cells count from 1).
    if (!IsCharacter(keys[0], kMouseOffset, kLastCodePoint)) return false;
    for (size_t i = 1; i < kMouseReportBytes; ++i)
        if (!IsCharacter(keys[i], kMouseOffset + 1, kLastCodePoint)) return false;
    const char32_t button = keys[0].value - kMouseOffset;
    if ((button & kMouseButtonBits) != 0 || (button & kMouseOtherBits) != 0) return false;
    out->kind = InputEvent::Kind::kClick;
    out->column = static_cast<int>(keys[1].value - kMouseOffset - 1);
    out->row = static_cast<int>(keys[2].value - kMouseOffset - 1);
    out->modifiers = kModNone;
    return true;
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
        if (character && raw.value == kEscape) {
            bool complete = false;
            const size_t length = SequenceLength(keys, count, i, &complete);
            // ESC "[" or ESC "O" with nothing after it is Alt with that character.
            const bool alone = length == 2 && i + 2 == count;
            if (length > 0 && !alone) {
                InputEvent e;
                if (complete && SequenceKey(keys + i, length, &e)) events.push_back(e);
                const bool mouse = complete && IsMouseReport(keys + i, length);
                i += length - 1;
                if (mouse) {
                    if (MouseReport(keys + i + 1, count - i - 1, &e)) events.push_back(e);
                    // Its characters, as many as came: a mark or a key code is no part of it.
                    for (size_t taken = 0; taken < kMouseReportBytes && i + 1 < count &&
                                           keys[i + 1].kind == RawKey::Kind::kCharacter;
                         ++taken)
                        ++i;
                }
                continue;
            }
        }
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

bool EndsInsideSequence(const RawKey* keys, size_t count) {
    for (size_t at = count; at > 0; --at) {
        const RawKey& raw = keys[at - 1];
        if (raw.kind != RawKey::Kind::kCharacter || raw.value != kEscape) continue;
        if (at == count) return true;
        bool complete = false;
        const size_t length = SequenceLength(keys, count, at - 1, &complete);
        const size_t left = count - (at - 1); // keys from the Escape on
        if (!complete) return length == left;
        return IsMouseReport(keys + at - 1, length) && left < length + kMouseReportBytes;
    }
    return false;
}

bool FeedEvent(const InputEvent& e) {
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
        return false;
    }
    return true;
}

} // namespace qb::render::terminal
