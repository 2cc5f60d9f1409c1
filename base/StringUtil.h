// Bounded operations on zero-terminated texts, in a wide (UTF-16 unit) and a narrow (byte)
// form. Capacities count elements of the text's own kind and include the terminator.
//
// Results: 1 success, found or equal; 0 a negative answer (not equal, absent, truncated);
// -1 a null pointer argument or a failed operation. Output positions and counts are optional
// where marked; the functions never allocate.
#pragma once

#include <windows.h>

// Bounded append: appends source to the text already in destination.
// 1 appended whole; 0 truncated (destination still terminated); -1 null destination or
// source, or capacity 0.
int StrAppend(LPWSTR destination, DWORD capacity, LPCWSTR source);
int StrAppend(LPSTR destination, DWORD capacity, LPCSTR source);

// Bounded copy: empties destination, then appends. -1 null destination or source; 0 for
// capacity 0 (nothing written); else as StrAppend.
int StrCopy(LPWSTR destination, DWORD capacity, LPCWSTR source);
int StrCopy(LPSTR destination, DWORD capacity, LPCSTR source);

// Length in elements before the terminator. 1 and *length; -1 when length is null, or when
// text is null (then *length is 0).
int StrLength(LPCWSTR text, DWORD* length);
int StrLength(LPCSTR text, DWORD* length);

// Exact, unit-by-unit equality. 1 equal; 0 different; -1 a null argument.
int StrEqual(LPCWSTR a, LPCWSTR b);
int StrEqual(LPCSTR a, LPCSTR b);

// Equality without regard to ASCII letter case (other units compared exactly). 1 equal; 0
// different; -1 a null argument.
int StrEqualNoCase(LPCWSTR a, LPCWSTR b);
int StrEqualNoCase(LPCSTR a, LPCSTR b);

// First / last position of unit. 1 and *position (optional); -1 null text or unit absent.
// The terminator itself is never found.
int StrFindUnit(LPCWSTR text, WCHAR unit, DWORD* position);
int StrFindUnit(LPCSTR text, CHAR unit, DWORD* position);
int StrFindLastUnit(LPCWSTR text, WCHAR unit, DWORD* position);
int StrFindLastUnit(LPCSTR text, CHAR unit, DWORD* position);

// First position of pattern in text. 1 and *position (optional); 0 absent; -1 null
// argument or text shorter than the pattern. The empty pattern is found at 0 in any
// non-empty text.
int StrFindSubstring(LPCWSTR text, LPCWSTR pattern, DWORD* position);
int StrFindSubstring(LPCSTR text, LPCSTR pattern, DWORD* position);

// 1 when text begins with prefix (the empty prefix begins every text); 0 when it does not;
// -1 a null argument.
int StrStartsWith(LPCWSTR text, LPCWSTR prefix);

// Removes the spaces and tabs at both ends of text, in place. 1; -1 null text.
int StrTrimBlanks(LPWSTR text);
// A unit that must not reach a terminal or a file name as it is: the C0 controls, DEL, the
// C1 controls (U+0080..U+009F) and the controls of bidirectional text (U+061C, U+200E,
// U+200F, U+202A..U+202E, U+2066..U+2069), which can make a name read as another.
bool StrIsHiddenControl(WCHAR unit);

// Percent-decoding of a command-line value: "%" and two hex digits give the unit with that
// code (a non-hex digit counts as 255); "+" is kept. Reads at most *sourceLength units and,
// when destination is given, writes at most capacity units (no terminator is added).
// Without destination it only counts. A "%" without two more units is consumed and ends the
// walk. Returns the units produced and sets *sourceLength to the units consumed; 0 and
// nothing consumed for a null source or a null sourceLength.
DWORD StrPercentDecode(LPCWSTR source, DWORD* sourceLength, LPWSTR destination, DWORD capacity);
