// Percent-escaped text read back as characters. An escape "%XX" stands for one byte, and a
// run of escaped bytes is read as UTF-8, the way URLs carry text that is not ASCII; units
// that are not escapes stay as they are.
#pragma once

#include <windows.h>

// Decodes length units of source into destination (capacity units, terminator included).
// An escape is "%" and two hex digits; a "%" not followed by two is kept as it is. Each run
// of consecutive escapes is read as UTF-8; one that is not valid UTF-8 is read in the default
// ANSI code page when ansiFallback is TRUE. 1; 0 a run that is not UTF-8 without
// ansiFallback; -1 a result that does not fit capacity, or a null argument. destination is
// left empty unless the result is 1. *produced (optional) receives the units written without
// the terminator: an escaped NUL is one of them, and ends the text for a reader that stops
// at the terminator.
int PercentDecodeText(LPCWSTR source, DWORD length, LPWSTR destination, DWORD capacity,
                      BOOL ansiFallback, DWORD* produced = nullptr);
