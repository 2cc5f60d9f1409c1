// The file name a Content-Disposition header gives, taken only when asked for
// (ContentDisposition=1): "filename*" (RFC 5987: charset UTF-8 or ISO-8859-1, an optional
// language, the bytes percent-encoded) first, then "filename" (a quoted string with "\"
// escapes, or a token). Parameter names are compared without case; the disposition type
// is not looked at.
#pragma once

#include <windows.h>

// The percent-decoded bytes of one filename* value, at most this many.
constexpr DWORD kDispositionNameBytes = 1024;

// 1 and the first of the two names that is a plain file name under the rules of any
// server-chosen name (HttpIsPlainFileName), without "/" and not beginning with "."; 0 when
// neither is given or usable (buffer left empty); -4 null argument or capacity 0.
int HttpContentDispositionName(LPCWSTR value, LPWSTR buffer, DWORD capacity);
