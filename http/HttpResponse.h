// Reading the head of an HTTP response from a LineReader, and the numbers the client takes
// from it. Lines longer than their buffer are cut there, terminated, and the rest of the line
// is skipped, so one long line never turns into several.
#pragma once

#include <cstdint>

#include <windows.h>

#include "http/LineReader.h"
#include "http/PropertyList.h"

constexpr DWORD kHttpStatusLineCapacity = 64;   // bytes, terminator included
constexpr DWORD kHttpHeaderLineCapacity = 1024; // bytes, terminator included
constexpr DWORD kHttpStatusNumbers = 3;         // "HTTP/%u.%u %u"
constexpr DWORD kHttpReasonCapacity = 48;       // units of a reason phrase kept, terminator incl.

// Reads one line into line (capacity bytes, terminator included) and skips what does not
// fit. 1 and *length; -1 the source ended or failed before a line feed (what came is stored
// and terminated); -4 null argument.
// *cut (optional) tells whether the line was longer than the buffer.
int HttpReadLine(LineReader* reader, LPSTR line, DWORD capacity, DWORD* length, BOOL* cut);

// Matches line against "HTTP/<major>.<minor> <status>" (spaces before each number are
// skipped, as a scanf conversion does). Returns how many of the three numbers matched, 0 to
// 3; *status (optional) receives the third. A number too large for 32 bits does not match.
int HttpParseStatusLine(LPCSTR line, DWORD* status);

// The reason phrase of a status line that matched all three numbers (the text after the
// status code and its spaces), fit to be shown: printable ASCII only (any other byte becomes
// "?"), trailing spaces dropped, at most capacity - 1 units. Empty for any other line.
// 1; -4 null reason or capacity 0.
int HttpParseReasonPhrase(LPCSTR statusLine, LPWSTR reason, DWORD capacity);

// Reads header lines into store until an empty line or the end of the connection (1), or a
// line without ":" (-1: the lines after it stay in the connection, as body bytes). The name is
// the text before the first ":" as it is; the value follows it after the spaces (0x20). Both
// are converted from the default ANSI code page and stored as wide text; a name that comes
// again replaces the earlier value (in any letter case when the store's keys are
// PropertyKeys::kAnyCase, as header names have no case). A line longer than the buffer, or one with
// a NUL byte inside, is stored cut (at the buffer's end or at the NUL), except a Location line (its
// name in any letter case): a cut URL would name another resource, so it is stored empty (and
// refused as a redirection). -2 null store; -4 null reader.
int HttpReadHeaderBlock(LineReader* reader, PropertyList* store);

// A decimal length of 64 bits: digits only, at least one, at most 2^63 - 1. True and *value.
bool HttpParseLength(LPCWSTR text, uint64_t* value);

// The first byte position of a Content-Range value "bytes <first>-<last>/<size>".
// True and *first.
bool HttpParseRangeStart(LPCWSTR text, uint64_t* first);
