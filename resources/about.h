// The web page addresses the About box shows, one for each display language; the box puts
// the one of the current language into its address field when it opens.
#pragma once

#include <windows.h>

inline constexpr WCHAR kAboutPageJapanese[] = TEXT("https://quillbrook.example/ja/");
inline constexpr WCHAR kAboutPageEnglish[] = TEXT("https://quillbrook.example/en/");
