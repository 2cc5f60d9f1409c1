// A line on standard error for whoever started the program without a window to show a
// message in (a script, a cron job): the text in the code set of the user's locale.
#pragma once

#include <windows.h>

// Units of a line's escaped text, terminator included: a URL of 4096 units, each escaped.
constexpr DWORD kErrorLineCapacity = 4096 * 9 + 1;

// text with every unit StrIsHiddenControl names written as the percent-escapes of its UTF-8
// bytes ("%1B", "%C2%85", "%E2%80%AE"): a URL or a server's text cannot move the cursor,
// change colours or reorder what the terminal shows. 1; 0 when it did not fit capacity
// (escaped cut after the last whole unit); -4 null argument or capacity 0.
int EscapeHiddenControls(LPCWSTR text, LPWSTR escaped, DWORD capacity);

// Writes text, then a space and detail when detail is not null, then a line end, with one
// call so that the lines of programs sharing the stream stay whole. Both are escaped first.
void WriteErrorLine(LPCWSTR text, LPCWSTR detail);
