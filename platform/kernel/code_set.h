// Which character set a Win32 code page stands for, as an iconv name.
#pragma once

#include <string>

#include "win/types.h"

namespace qb::kernel {

inline constexpr const char* kUtf8CodeSet = "UTF-8";

// The code set of the user's locale (LC_ALL > LC_CTYPE > LANG): ja_JP.SJIS gives "CP932",
// ja_JP.eucJP "EUC-JP", a UTF-8 locale, C, POSIX, a locale without a codeset or no locale
// at all "UTF-8"; any other codeset is passed on as the locale names it.
std::string AnsiCodeSet();

// The iconv name for a code page (CP_ACP and CP_OEMCP resolve to AnsiCodeSet());
// "" for a code page that is not known.
std::string CodeSetOfCodePage(UINT codePage);

} // namespace qb::kernel
