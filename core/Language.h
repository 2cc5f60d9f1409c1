// The language test: every text, dialog and menu pair is chosen by it at the moment of use.
#pragma once

#include <windows.h>

// True when the system language is Japanese as used in Japan (qb/language.h, the rule the
// platform's own texts follow too); asks the system every time.
bool IsJapanese();

// The Japanese or the English member of a pair, by IsJapanese().
template <typename T> T ByLanguage(T japanese, T english) {
    return IsJapanese() ? japanese : english;
}
