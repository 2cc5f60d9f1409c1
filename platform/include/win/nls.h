// National language support beyond the code pages: the ASCII form of an internationalised
// domain name (winnls.h, normaliz on Windows). Implemented in platform/kernel over libidn2.
#pragma once

#include "types.h"

#define IDN_ALLOW_UNASSIGNED 0x01
#define IDN_USE_STD3_ASCII_RULES 0x02
#define IDN_EMAIL_ADDRESS 0x04
#define IDN_RAW_PUNYCODE 0x08

// The ASCII form of a host name (IDNA 2008 with the UTS #46 mapping, non-transitional:
// "例え.テスト" -> "xn--r8jz45g.xn--zckzah", full-width and upper-case letters mapped first).
// Text that is all ASCII is copied unchanged (address literals are not names: callers do not
// pass them). IDN_USE_STD3_ASCII_RULES refuses a result with anything but letters, digits,
// "-" and ".". cchUnicodeChar -1: the text ends at its terminator, which is converted too. The
// result counts units written (terminator included when converted); with cchASCIIChar 0 the
// units needed. 0 on failure, with GetLastError: ERROR_INVALID_NAME (a name the rules refuse),
// ERROR_NO_UNICODE_TRANSLATION (a lone surrogate), ERROR_INSUFFICIENT_BUFFER,
// ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS (IDN_EMAIL_ADDRESS and IDN_RAW_PUNYCODE are
// not supported).
int WINAPI IdnToAscii(DWORD dwFlags, LPCWSTR lpUnicodeCharStr, int cchUnicodeChar,
                      LPWSTR lpASCIICharStr, int cchASCIIChar);
