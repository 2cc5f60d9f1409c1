#include "transport/Base64.h"

#include "base/Bytes.h"
#include "base/Results.h"

namespace {

constexpr DWORD kDecodeOffset = 256;
constexpr DWORD kGroupBytes = 3;
constexpr DWORD kGroupChars = 4;

// Reads until count bytes have arrived or the input ends. -1 when a read fails.
int ReadFully(Stream* input, BYTE* buffer, DWORD count, DWORD* delivered) {
    *delivered = 0;
    while (*delivered < count) {
        DWORD n = count - *delivered;
        const int result = input->Read(buffer + *delivered, &n);
        if (result < 0) return kResultFail;
        if (n == 0) break;
        *delivered += n;
    }
    return kResultOk;
}

int WriteAll(Stream* output, const BYTE* data, DWORD count) {
    DWORD n = count;
    if (output->Write(data, &n) <= 0 || n != count) return kResultFail;
    return kResultOk;
}

} // namespace

void Base64BuildTables(Base64Tables* tables) {
    if (tables == nullptr) return;
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    BytesFill(tables->bytes, 0, sizeof(tables->bytes));
    BytesFill(tables->bytes + kDecodeOffset, kBase64Invalid, 255);
    for (BYTE value = 0; value < 64; ++value) {
        const BYTE code = static_cast<BYTE>(alphabet[value]);
        tables->bytes[value] = code;
        tables->bytes[kDecodeOffset + code] = value;
    }
    tables->bytes[kDecodeOffset + '='] = 0;
}

void Base64ReleaseTables(Base64Tables*) {}

int Base64Encode(const Base64Tables* tables, Stream* input, Stream* output, DWORD lineLength) {
    if (tables == nullptr || input == nullptr || output == nullptr) return kResultFail;
    const BYTE* alphabet = tables->bytes;
    DWORD lineCount = 0;
    for (;;) {
        BYTE group[kGroupBytes] = {0, 0, 0};
        DWORD got = 0;
        if (ReadFully(input, group, kGroupBytes, &got) < 0) return kResultFail;
        if (got == 0) return kResultOk;

        BYTE chars[kGroupChars];
        chars[0] = alphabet[group[0] >> 2];
        chars[1] = alphabet[((group[0] & 0x03) << 4) | (group[1] >> 4)];
        chars[2] = got > 1 ? alphabet[((group[1] & 0x0F) << 2) | (group[2] >> 6)] : '=';
        chars[3] = got > 2 ? alphabet[group[2] & 0x3F] : '=';

        // The four characters, with "\r\n" wherever the line reaches its length.
        BYTE piece[kGroupChars + 4];
        DWORD pieceLength = 0;
        for (DWORD i = 0; i < kGroupChars; ++i) {
            piece[pieceLength++] = chars[i];
            // The padded last group ends the text: a line it fills gets no break.
            const bool endOfText = got < kGroupBytes && i == kGroupChars - 1;
            if (lineLength != kBase64NoLineBreaks && ++lineCount == lineLength && !endOfText) {
                piece[pieceLength++] = '\r';
                piece[pieceLength++] = '\n';
                lineCount = 0;
            }
        }
        if (WriteAll(output, piece, pieceLength) < 0) return kResultFail;
        if (got < kGroupBytes) return kResultOk;
    }
}

int Base64Decode(const Base64Tables* tables, Stream* input, Stream* output) {
    if (tables == nullptr || input == nullptr || output == nullptr) return kResultFail;
    const BYTE* values = tables->bytes + kDecodeOffset;
    BYTE group[kGroupChars];
    DWORD filled = 0;
    DWORD padding = 0;
    bool ended = false; // a padded group has been decoded: only line breaks may follow
    for (;;) {
        BYTE c = 0;
        DWORD n = 1;
        if (input->Read(&c, &n) < 0) return kResultFail;
        if (n == 0) break;
        if (c == '\r' || c == '\n') continue;
        if (ended || c == 0xFF || values[c] == kBase64Invalid) return kResultFail;
        if (c == '=') {
            // Padding may fill only the third and fourth places of a group.
            if (filled < 2) return kResultFail;
            ++padding;
        } else if (padding > 0) {
            return kResultFail;
        }
        group[filled++] = values[c];
        if (filled < kGroupChars) continue;

        const BYTE bytes[kGroupBytes] = {
            static_cast<BYTE>((group[0] << 2) | (group[1] >> 4)),
            static_cast<BYTE>((group[1] << 4) | (group[2] >> 2)),
            static_cast<BYTE>((group[2] << 6) | group[3]),
        };
        if (WriteAll(output, bytes, kGroupBytes - padding) < 0) return kResultFail;
        ended = padding > 0;
        filled = 0;
        padding = 0;
    }
    return filled == 0 ? kResultOk : kResultFail;
}
