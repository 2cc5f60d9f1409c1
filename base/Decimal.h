// Decimal texts into 32-bit integers, as the property list converts its text values.
#pragma once

#include <windows.h>

// An optional "+" or "-", then decimal digits only; the empty text and a lone sign give 0.
// 1 parsed; kResultOverflow (2) parsed, but the number does not fit 32 bits and *value holds
// it wrapped modulo 2^32; -1 not a number or a null argument (nothing stored).
int StrParseSigned(LPCWSTR text, LONG* value);

// Decimal digits only (a sign is not a digit); otherwise as StrParseSigned.
int StrParseUnsigned(LPCWSTR text, DWORD* value);

// A rate in bytes per second: decimal digits, then nothing, "k" (x 1024) or "M" (x 1048576).
// 1 parsed; -1 anything else, no digits, or a rate over 32 bits (nothing stored).
int StrParseByteRate(LPCWSTR text, DWORD* bytesPerSecond);
