// Kernel services: code pages and the wsprintfW subset, files, threads, waits, critical
// sections, time and the system language. Implemented in platform/kernel.
#pragma once

#include "types.h"

// ---- Code pages -------------------------------------------------------------------------
// CP_ACP is the code set of the user's locale (LC_ALL > LC_CTYPE > LANG), UTF-8 when that
// is C, POSIX or unset. A character without an equivalent becomes "?", as on Windows.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                               int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                               int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                               LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);

// wsprintfW subset: %u %i %d %s (UTF-16 text) %c %% and %I64u / %I64i for 64-bit values.
// Writes at most 1024 units including the terminator, as Windows does; returns the units
// written without the terminator.
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);

int WINAPI lstrlenW(LPCWSTR s);
int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b);

// ---- Language ---------------------------------------------------------------------------
typedef WORD LANGID;
// From the locale (LC_ALL > LC_MESSAGES > LANG): ja_JP* gives 0x0411; C/POSIX 0x0409.
LANGID WINAPI GetSystemDefaultLangID(void);
