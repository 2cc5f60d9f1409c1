// A line on standard error for whoever started the program without a window to show a
// message in (a script, a cron job): the text in the code set of the user's locale.
#pragma once

#include <windows.h>

// Writes text, then a space and detail when detail is not null, then a line end, with one
// call so that the lines of programs sharing the stream stay whole.
void WriteErrorLine(LPCWSTR text, LPCWSTR detail);
