// Kernel services: last error, code pages and the wsprintfW subset, files and directories,
// threads, waits, critical sections, time and the system language. Implemented in
// platform/kernel, with the numbers, signatures and results of the Win32 documentation.
#pragma once

#include <cstdarg>

#include "types.h"

// ---- Last error -------------------------------------------------------------------------
// One value per thread, set by every kernel function that fails.
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);

// ---- Code pages -------------------------------------------------------------------------
// CP_ACP is the code set of the user's locale (LC_ALL > LC_CTYPE > LANG), UTF-8 when that
// is C, POSIX or unset. A character without an equivalent becomes "?", as on Windows; an
// invalid input sequence becomes U+FFFD.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_COMPOSITECHECK 0x00000200
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_NO_BEST_FIT_CHARS 0x00000400

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar);

// wsprintfW subset: %u %i %d %x %X %s (UTF-16 text) %c %% and %I64u / %I64i / %I64d / %I64x
// for 64-bit values, with the flags "-" and "0", a width and a precision. "l" and "h" size
// prefixes are accepted ("l" is 32-bit, as LONG is). Writes at most 1024 units including the
// terminator, as Windows does; returns the units written without the terminator.
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
int WINAPI wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list arglist);

int WINAPI lstrlenW(LPCWSTR s);
// Compares as the user's locale sorts plain text: letters without regard to case first,
// then lower case before upper case; -1, 0 or 1.
int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b);

// ---- Language ---------------------------------------------------------------------------
typedef WORD LANGID;
// From the locale (LC_ALL > LC_MESSAGES > LANG): ja_JP* gives 0x0411, "ja" alone 0x0011;
// other languages their identifiers; C/POSIX or unset 0x0409.
LANGID WINAPI GetSystemDefaultLangID(void);
