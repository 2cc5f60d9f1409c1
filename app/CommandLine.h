// The command-line grammar: a query string of items joined by "&", each a key with an
// optional "=" and value, stored in the run-parameter list as they stand (values are
// percent-decoded only when they are read).
//
// Spaces are skipped at the very start only; nothing else is trimmed or quoted. A key ends at
// "=", "&" or the end; a value at "&" or the end, so an "=" inside a value belongs to it.
// An item with a non-empty value is stored as wide text, any other as the key without a
// value; a later item replaces an earlier one of the same key (compared exactly). Items the
// list has no room for are dropped. The empty command line is one item with an empty key.
#pragma once

#include <windows.h>

class PropertyList;

constexpr DWORD kKeyBufferCapacity = 1024;   // units of the key work buffer
constexpr DWORD kValueBufferCapacity = 4096; // units of the value work buffer
constexpr DWORD kLongestKey = 1022;          // characters; a longer key rejects the line
constexpr DWORD kLongestValue = 4094;        // characters; a longer value rejects the line

// 1 parsed; -1 a key or value too long, or a null argument; -2 no memory for the work
// buffers. Items before a rejected one stay in the list.
int ParseCommandLine(LPCWSTR commandLine, PropertyList* parameters);
