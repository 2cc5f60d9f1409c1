#include "platform/render/terminal/size_notice.h"

#include <windows.h>

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

} // namespace

bool SystemIsJapanese() {
    return qb::SystemLanguageIsJapanese();
}

bool TooSmall(const Screen& screen) {
    return screen.columns < screen.neededColumns || screen.rows < screen.neededRows;
}

std::u32string SizeNotice(const Screen& screen, bool japanese) {
    // Short enough for the narrowest terminals a person uses; the present size is theirs.
    const std::u32string needed = Size(screen.neededColumns, screen.neededRows);
    if (japanese) return U"端末が小さすぎます (" + needed + U")";
    return U"Terminal too small (" + needed + U")";
}

} // namespace qb::render::terminal
