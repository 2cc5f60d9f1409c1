#include "platform/render/terminal/terminfo_query.h"

#include <curses.h>
#include <term.h>

#include <cstring>

namespace qb::render::terminal {

namespace {

// xterm's "report mouse buttons" off, for terminals without their own XM string.
constexpr char kMouseOffDefault[] = "\033[?1000l";
// Bracketed paste off (the session turns it on; a terminal without it ignores this).
constexpr char kPasteModeOff[] = "\033[?2004l";

bool IsString(const char* s) {
    return s != nullptr && s != reinterpret_cast<char*>(-1);
}

} // namespace

bool UsableTerminalType(const char* type, int outputFd) {
    if (type == nullptr || *type == '\0' || std::strcmp(type, "dumb") == 0) return false;
    int status = 0;
    if (setupterm(type, outputFd, &status) != OK) return false;
    bool usable = tigetflag("gn") <= 0 && tigetflag("hc") <= 0 && IsString(tigetstr("cup"));
    del_curterm(cur_term);
    return usable;
}

size_t TerminalLeaveBytes(char* out, size_t capacity) {
    size_t length = 0;
    auto append = [&](const char* bytes) {
        if (!IsString(bytes)) return;
        size_t n = std::strlen(bytes);
        if (length + n > capacity) return;
        std::memcpy(out + length, bytes, n);
        length += n;
    };
    append(tigetstr("sgr0"));
    append(tigetstr("op"));
    char* mouseSwitch = tigetstr("XM");
    if (IsString(mouseSwitch))
        append(tiparm(mouseSwitch, 0));
    else if (IsString(tigetstr("kmous")))
        append(kMouseOffDefault);
    append(kPasteModeOff);
    append(tigetstr("rmkx"));
    append(tigetstr("cnorm"));
    append(tigetstr("rmcup"));
    return length;
}

} // namespace qb::render::terminal
