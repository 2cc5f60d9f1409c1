// The digest a downloaded file must have, as the Checksum run parameter gives it.
#pragma once

#include <windows.h>

constexpr DWORD kLargestDigestBytes = 64; // SHA-512

enum class DigestKind { kNone, kSha256, kSha512 };

struct Checksum {
    DigestKind kind = DigestKind::kNone;
    DWORD size = 0; // bytes of digest
    BYTE digest[kLargestDigestBytes] = {};
};

// "sha256:" and 64 hexadecimal digits, or "sha512:" and 128; the name and the digits in any
// case. 1 parsed into *checksum; -1 anything else (*checksum then unchanged).
int ParseChecksum(LPCWSTR text, Checksum* checksum);
