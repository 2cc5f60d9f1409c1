// Base64 (RFC 4648 alphabet) from one Stream into another; it lives beside the Stream
// interface it reads and writes. The tables are a caller-owned object: build them once, use
// them for any number of calls, release them.
#pragma once

#include <windows.h>

#include "transport/Stream.h"

// Bytes 0-63: the encoding alphabet. Bytes 256-510: the value of each byte code 0-254 (0-63
// for the alphabet, 0 for "=", kBase64Invalid for every other code). The rest is unused.
struct Base64Tables {
    BYTE bytes[512];
};

constexpr BYTE kBase64Invalid = 0x80;
// The line length at which the encoder writes no line breaks at all.
constexpr DWORD kBase64NoLineBreaks = 0;

void Base64BuildTables(Base64Tables* tables);
void Base64ReleaseTables(Base64Tables* tables);

// Encodes all of input into output, three bytes into four characters, with "\r\n" after
// every lineLength characters (0 writes no breaks). A last line filled by whole groups ends
// with "\r\n"; one filled by the padded last group does not.
// 1 when the input is exhausted; -1 null tables or stream, a failed read, or a short write
// (what was written before stays in the output).
int Base64Encode(const Base64Tables* tables, Stream* input, Stream* output, DWORD lineLength);

// Decodes all of input into output. Line breaks (CR, LF) are skipped; the text must consist
// of whole four-character groups, "=" only as the padding of the last group.
// 1 when the input is exhausted; -1 null tables or stream, a character outside the alphabet,
// an incomplete or misplaced padding group, a failed read, or a short write.
int Base64Decode(const Base64Tables* tables, Stream* input, Stream* output);
