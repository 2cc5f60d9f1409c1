// The one language rule of every text shown, the platform's own lines (the terminal's size
// notice) and the program's dialogs alike: Japanese when the system language is Japan's
// Japanese (0x0411), English for any other identifier, Japanese of no country ("ja")
// included. Win32 alone, so that a Windows build of the program follows it too.
#pragma once

#include <windows.h>

namespace qb {

constexpr LANGID kJapaneseJapan = 0x0411;

// Asks the system every time: nothing is cached.
inline bool SystemLanguageIsJapanese() {
    return GetSystemDefaultLangID() == kJapaneseJapan;
}

} // namespace qb
