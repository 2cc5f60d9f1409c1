// The language test: every text, dialog and menu pair is chosen by it at the moment of use.
#pragma once

#include <windows.h>

constexpr LANGID kJapaneseJapan = 0x0411;

// True when the system language is Japanese as used in Japan; asks the system every time.
bool IsJapanese();

// The Japanese or the English member of a pair, by IsJapanese().
template <typename T> T ByLanguage(T japanese, T english) {
    return IsJapanese() ? japanese : english;
}
