// What the terminal's bytes (as ncurses reports them) become: the keys, text and clicks the
// windows get.
#include "platform/render/terminal/key_decoder.h"

#include <curses.h>
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace qb::render::terminal {
namespace {

using Kind = InputEvent::Kind;

RawKey Ch(char32_t ch) {
    return RawKey{RawKey::Kind::kCharacter, ch};
}
RawKey Code(int code) {
    return RawKey{RawKey::Kind::kKeyCode, static_cast<char32_t>(code)};
}
RawKey Mouse(int column, int row, mmask_t buttons) {
    return RawKey{RawKey::Kind::kMouse, KEY_MOUSE, column, row, buttons};
}

InputEvent K(Key key, unsigned mods = kModNone) {
    InputEvent e;
    e.kind = Kind::kKey;
    e.key = key;
    e.modifiers = mods;
    return e;
}
InputEvent T(const char16_t* text) {
    InputEvent e;
    e.kind = Kind::kText;
    e.text = text;
    return e;
}
InputEvent C(char16_t ch, unsigned mods) {
    InputEvent e;
    e.kind = Kind::kChar;
    e.text = std::u16string(1, ch);
    e.modifiers = mods;
    return e;
}
InputEvent Click(int column, int row) {
    InputEvent e;
    e.kind = Kind::kClick;
    e.column = column;
    e.row = row;
    return e;
}
RawKey PasteStart() {
    return RawKey{RawKey::Kind::kPasteStart, 0};
}
RawKey PasteEnd() {
    return RawKey{RawKey::Kind::kPasteEnd, 0};
}
InputEvent P(const char16_t* text) {
    InputEvent e;
    e.kind = Kind::kPaste;
    e.text = text;
    return e;
}
InputEvent Resize() {
    InputEvent e;
    e.kind = Kind::kResize;
    return e;
}

// The characters of a sequence the terminal sent and ncurses did not know ("\x1b[1;5D").
std::vector<RawKey> Seq(const char* bytes) {
    std::vector<RawKey> keys;
    for (const char* p = bytes; *p != 0; ++p)
        keys.push_back(Ch(static_cast<char32_t>(static_cast<unsigned char>(*p))));
    return keys;
}
std::vector<RawKey> Join(std::initializer_list<std::vector<RawKey>> parts) {
    std::vector<RawKey> keys;
    for (const auto& part : parts) keys.insert(keys.end(), part.begin(), part.end());
    return keys;
}

struct Case {
    const char* name;
    std::vector<RawKey> keys;
    std::vector<InputEvent> events;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class DecodeKeysTest : public ::testing::TestWithParam<Case> {};

TEST_P(DecodeKeysTest, Decodes) {
    const Case& c = GetParam();
    EXPECT_EQ(DecodeKeys(c.keys.data(), c.keys.size()), c.events);
}

const Case kCases[] = {
    {"TextRunsAreOneFeed", {Ch(U'a'), Ch(U'b'), Ch(U'日'), Ch(U'本')}, {T(u"ab日本")}},
    {"SpaceSplitsTextAndIsAKey",
     {Ch(U'a'), Ch(U' '), Ch(U'b')},
     {T(u"a"), K(Key::kSpace), T(u"b")}},
    {"SupplementaryCharacterBecomesASurrogatePair", {Ch(U'𠀋')}, {T(u"𠀋")}},
    {"TabAndShiftTab", {Ch(9), Code(KEY_BTAB)}, {K(Key::kTab), K(Key::kTab, kModShift)}},
    {"EnterFromCarriageReturnLineFeedOrKeypad",
     {Ch(13), Ch(10), Code(KEY_ENTER)},
     {K(Key::kEnter), K(Key::kEnter), K(Key::kEnter)}},
    {"EveryBackspaceSpelling",
     {Code(KEY_BACKSPACE), Ch(127), Ch(8), Code(KEY_DC)},
     {K(Key::kBackspace), K(Key::kBackspace), K(Key::kBackspace), K(Key::kDelete)}},
    {"Navigation",
     {Code(KEY_LEFT), Code(KEY_RIGHT), Code(KEY_UP), Code(KEY_DOWN), Code(KEY_HOME), Code(KEY_END),
      Code(KEY_PPAGE), Code(KEY_NPAGE), Code(KEY_SLEFT)},
     {K(Key::kLeft), K(Key::kRight), K(Key::kUp), K(Key::kDown), K(Key::kHome), K(Key::kEnd),
      K(Key::kPageUp), K(Key::kPageDown), K(Key::kLeft, kModShift)}},
    {"LoneEscapeAtTheEnd", {Ch(U'x'), Ch(0x1B)}, {T(u"x"), K(Key::kEscape)}},
    {"EscapeThenLetterIsAlt", {Ch(0x1B), Ch(U'r'), Ch(U's')}, {C(u'r', kModAlt), T(u"s")}},
    {"EscapeThenJapaneseIsAlt", {Ch(0x1B), Ch(U'あ')}, {C(u'あ', kModAlt)}},
    {"TwoEscapesAreTwoEscapeKeys", {Ch(0x1B), Ch(0x1B)}, {K(Key::kEscape), K(Key::kEscape)}},
    {"EscapeBeforeAKeyCodeStaysEscape", {Ch(0x1B), Code(KEY_UP)}, {K(Key::kEscape), K(Key::kUp)}},
    {"EscapeBeforeTabStaysEscape", {Ch(0x1B), Ch(9)}, {K(Key::kEscape), K(Key::kTab)}},
    {"CtrlLetterKeepsItsLetter", {Ch(0x16), Ch(0x01)}, {C(u'v', kModCtrl), C(u'a', kModCtrl)}},
    {"ControlAndC1CodesThatMeanNothingAreDropped",
     {Ch(0), Ch(0x1C), Ch(0x85), Code(KEY_F(1)), Ch(U'z')},
     {T(u"z")}},
    {"LeftPressOrClickIsAClickOthersAreNot",
     {Mouse(3, 4, BUTTON1_PRESSED), Mouse(5, 6, BUTTON1_CLICKED), Mouse(7, 8, BUTTON1_RELEASED),
      Mouse(9, 9, BUTTON3_PRESSED)},
     {Click(3, 4), Click(5, 6)}},
    {"ClickEndsATextRun", {Ch(U'a'), Mouse(1, 2, BUTTON1_PRESSED)}, {T(u"a"), Click(1, 2)}},
    {"Resize", {Code(KEY_RESIZE)}, {Resize()}},
    // A paste is text, whatever it holds: no Space, Enter, Tab or Escape key comes of it.
    {"PasteKeepsSpacesAsText",
     {Ch(U'a'), PasteStart(), Ch(U'h'), Ch(U' '), Ch(U'日'), PasteEnd(), Ch(U' ')},
     {T(u"a"), P(u"h 日"), K(Key::kSpace)}},
    {"PasteTakesItsFirstLineOnly",
     {PasteStart(), Ch(U'u'), Ch(13), Ch(10), Ch(U'v'), Ch(13), PasteEnd(), Ch(13)},
     {P(u"u"), K(Key::kEnter)}},
    {"PasteDropsControlsKeysAndClicks",
     {PasteStart(), Ch(9), Ch(0x1B), Ch(U'x'), Code(KEY_UP), Mouse(1, 1, BUTTON1_PRESSED), Ch(127),
      Ch(0x16), PasteEnd()},
     {P(u"x")}},
    {"PasteOfOnlyALineBreakIsNothing", {PasteStart(), Ch(10), PasteEnd()}, {}},
    {"ResizeInsideAPasteIsStillSeen",
     {PasteStart(), Ch(U'a'), Code(KEY_RESIZE), Ch(U'b'), PasteEnd()},
     {P(u"a"), Resize(), P(u"b")}},
    {"StrayPasteEndIsIgnored", {PasteEnd(), Ch(U'z')}, {T(u"z")}},
    // xterm's modifier forms (1 + Shift 1, Alt 2, Ctrl 4) and the spellings of both Home/End
    // families, as they reach the decoder when the terminal description lacks them.
    {"CtrlLeftRight",
     Seq("\x1b[1;5D\x1b[1;5C"),
     {K(Key::kLeft, kModCtrl), K(Key::kRight, kModCtrl)}},
    {"ShiftArrows",
     Seq("\x1b[1;2C\x1b[1;2D\x1b[1;2A\x1b[1;2B"),
     {K(Key::kRight, kModShift), K(Key::kLeft, kModShift), K(Key::kUp, kModShift),
      K(Key::kDown, kModShift)}},
    {"AltDown", Seq("\x1b[1;3B"), {K(Key::kDown, kModAlt)}},
    {"CtrlShiftAltMeta",
     Seq("\x1b[1;6D\x1b[1;8C\x1b[1;9A"),
     {K(Key::kLeft, kModShift | kModCtrl), K(Key::kRight, kModShift | kModAlt | kModCtrl),
      K(Key::kUp)}},
    {"HomeEndTildeFamilies",
     Seq("\x1b[1~\x1b[4~\x1b[7~\x1b[8~"),
     {K(Key::kHome), K(Key::kEnd), K(Key::kHome), K(Key::kEnd)}},
    {"HomeEndLetterFamilies",
     Seq("\x1b[H\x1b[F\x1bOH\x1bOF"),
     {K(Key::kHome), K(Key::kEnd), K(Key::kHome), K(Key::kEnd)}},
    {"ModifiedHomeEnd",
     Seq("\x1b[1;2H\x1b[4;6~\x1b[1;5F"),
     {K(Key::kHome, kModShift), K(Key::kEnd, kModShift | kModCtrl), K(Key::kEnd, kModCtrl)}},
    {"Ss3Arrows",
     Seq("\x1bOA\x1bOB\x1bOC\x1bOD\x1bO5D"),
     {K(Key::kUp), K(Key::kDown), K(Key::kRight), K(Key::kLeft), K(Key::kLeft, kModCtrl)}},
    {"EditingKeysTildeForm",
     Seq("\x1b[3~\x1b[3;5~\x1b[5~\x1b[6~"),
     {K(Key::kDelete), K(Key::kDelete, kModCtrl), K(Key::kPageUp), K(Key::kPageDown)}},
    {"CsiZIsShiftTab", Seq("\x1b[Z"), {K(Key::kTab, kModShift)}},
    {"F4InEveryFamily",
     Join({Seq("\x1bOS\x1b[1;2S\x1b[14~"), {Code(KEY_F(4))}}),
     {K(Key::kF4), K(Key::kF4, kModShift), K(Key::kF4), K(Key::kF4)}},
    {"SequenceBetweenTextIsNoText",
     Join({Seq("a\x1b[1;5Db")}),
     {T(u"a"), K(Key::kLeft, kModCtrl), T(u"b")}},
    {"UnknownCompleteSequencesAreDroppedWhole",
     Seq("a\x1b[15~\x1b[2~\x1b[?1;2c\x1b[<0;3;4M\x1bOP\x1b[1;5X\x1b[9~\x1b[1;2;3Ab"),
     {T(u"a"), T(u"b")}},
    {"ModifierOutOfRangeIsDropped", Seq("\x1b[1;0A\x1b[1;17A\x1b[2;5A\x1b[;5A"), {}},
    {"CutShortSequenceIsDroppedTheKeyAfterItActs",
     Join({Seq("\x1b[1;"), {Ch(13)}, Seq("\x1bO"), {Code(KEY_UP)}}),
     {K(Key::kEnter), K(Key::kUp)}},
    {"UnfinishedSequenceAtTheEndIsNothing", Seq("x\x1b[1;5"), {T(u"x")}},
    {"BracketOrOAloneAfterEscapeIsAlt", Seq("\x1b["), {C(u'[', kModAlt)}},
    {"AltShiftOAloneAtTheEnd", Seq("\x1bO"), {C(u'O', kModAlt)}},
    {"X10MouseReportIsAClickItsReleaseNothing", Seq("\x1b[M $%\x1b[M#$%"), {Click(3, 4)}},
    {"MouseReportCutByAPasteMark",
     Join({Seq("\x1b[M "), {PasteStart(), Ch(U'p'), PasteEnd()}}),
     {P(u"p")}},
    {"Ss3MIsNoMouseReport", Seq("\x1bOMzzz"), {T(u"zzz")}},
    {"X10MouseOtherButtonsAndWheelAreNothing", Seq("\x1b[M!$%\x1b[M`$%z"), {T(u"z")}},
};

INSTANTIATE_TEST_SUITE_P(Terminal, DecodeKeysTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A paste longer than one read: each read gives what it holds, the end mark may come reads
// later, and a line break in one read still drops the lines after it in the next.
TEST(DecodeKeysAcrossReads, PasteSpansReads) {
    PasteState paste;
    const RawKey first[] = {Ch(U'a'), PasteStart(), Ch(U'h'), Ch(U' ')};
    const RawKey second[] = {Ch(U'x'), Ch(10)};
    const RawKey third[] = {Ch(U'y'), Ch(13), PasteEnd(), Ch(13)};
    EXPECT_EQ(DecodeKeys(first, 4, &paste), (std::vector<InputEvent>{T(u"a"), P(u"h ")}));
    EXPECT_TRUE(paste.inside);
    EXPECT_EQ(DecodeKeys(second, 2, &paste), (std::vector<InputEvent>{P(u"x")}));
    EXPECT_TRUE(paste.lineEnded);
    EXPECT_EQ(DecodeKeys(third, 4, &paste), (std::vector<InputEvent>{K(Key::kEnter)}));
    EXPECT_FALSE(paste.inside);
}

// A reader stopped by its capacity reads on while the keys end inside what may still become
// one unit.
TEST(DecodeKeysAcrossReads, EndsInsideSequence) {
    const struct {
        const char* bytes;
        bool inside;
    } cases[] = {
        {"ab", false},         {"a\x1b", true},    {"\x1b[", true},
        {"\x1bO", true},       {"\x1b[1;5", true}, {"\x1b[1;5D", false},
        {"\x1b[1;5Dx", false}, {"\x1bx", false},   {"\x1b[1;5Dx\x1b[2", true},
        {"", false},           {"\x1b[M", true},   {"\x1b[M $", true},
        {"\x1b[M $%", false},
    };
    for (const auto& c : cases) {
        const std::vector<RawKey> keys = Seq(c.bytes);
        EXPECT_EQ(EndsInsideSequence(keys.data(), keys.size()), c.inside) << c.bytes;
    }
}

} // namespace
} // namespace qb::render::terminal
