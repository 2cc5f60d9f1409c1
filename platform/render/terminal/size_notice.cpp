#include "platform/render/terminal/size_notice.h"

#include <windows.h>

#include "platform/render/cell_text.h"
#include "qb/language.h"

namespace qb::render::terminal {

namespace {

std::u32string Number(int value) {
    std::u32string out;
    for (char c : std::to_string(value)) out.push_back(static_cast<char32_t>(c));
    return out;
}

std::u32string Size(int columns, int rows) {
    return Number(columns) + U"x" + Number(rows);
}

int Cells(const std::u32string& text) {
    int cells = 0;
    for (char32_t ch : text) cells += CharWidth(ch);
    return cells;
}

} // namespace

bool SystemIsJapanese() {
    return qb::SystemLanguageIsJapanese();
}

bool TooSmall(const Screen& screen) {
    return screen.columns < screen.neededColumns || screen.rows < screen.neededRows;
}

std::u32string SizeNotice(const Screen& screen, bool japanese) {
    // Short enough for the narrowest terminals a person uses; the present size is theirs.
    // Where even that is too wide, a shorter wording, then the size alone: never a word cut.
    const std::u32string needed = U"(" + Size(screen.neededColumns, screen.neededRows) + U")";
    const std::u32string wordings[] = {
        japanese ? U"端末が小さすぎます " + needed : U"Terminal too small " + needed,
        japanese ? U"小さすぎます " + needed : U"Too small " + needed,
        needed,
    };
    for (const std::u32string& wording : wordings)
        if (screen.columns <= 0 || Cells(wording) <= screen.columns) return wording;
    return needed;
}

} // namespace qb::render::terminal
