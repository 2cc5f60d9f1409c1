#include "storage/FileDigest.h"

#include <new>

#include <wincrypt.h>

#include "base/Results.h"

namespace {

// The hash of one file, released on every way out.
class FileHash {
public:
    ~FileHash() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
        if (hash_ != 0) CryptDestroyHash(hash_);
        if (provider_ != 0) CryptReleaseContext(provider_, 0);
        delete[] piece_;
    }

    int Open(LPCWSTR path, ALG_ID algorithm) {
        piece_ = new (std::nothrow) BYTE[kDigestPieceBytes];
        if (piece_ == nullptr) return kResultNoMemory;
        if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES,
                                  CRYPT_VERIFYCONTEXT) ||
            !CryptCreateHash(provider_, algorithm, 0, 0, &hash_)) {
            return kResultFail;
        }
        file_ = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        return file_ != INVALID_HANDLE_VALUE ? kResultOk : kResultFail;
    }

    // Hashes the file to its end: kResultOk, kResultCancelled or kResultFail.
    int Read(const std::atomic<bool>* stop) {
        for (;;) {
            if (stop != nullptr && stop->load(std::memory_order_acquire)) return kResultCancelled;
            DWORD count = 0;
            if (!ReadFile(file_, piece_, kDigestPieceBytes, &count, nullptr)) return kResultFail;
            if (count == 0) return kResultOk;
            if (!CryptHashData(hash_, piece_, count, 0)) return kResultFail;
        }
    }

    // The digest into value (kLargestDigestBytes); its size, 0 on failure.
    DWORD Value(BYTE* value) {
        DWORD size = kLargestDigestBytes;
        return CryptGetHashParam(hash_, HP_HASHVAL, value, &size, 0) ? size : 0;
    }

private:
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    BYTE* piece_ = nullptr;
};

} // namespace

int FileMatchesChecksum(LPCWSTR path, const Checksum& checksum, const std::atomic<bool>* stop) {
    if (path == nullptr) return kResultNullArgument;
    ALG_ID algorithm = 0;
    if (checksum.kind == DigestKind::kSha256) {
        algorithm = CALG_SHA_256;
    } else if (checksum.kind == DigestKind::kSha512) {
        algorithm = CALG_SHA_512;
    } else {
        return kResultFail;
    }
    FileHash hash;
    if (const int opened = hash.Open(path, algorithm); opened != kResultOk) return opened;
    if (const int read = hash.Read(stop); read != kResultOk) return read;
    BYTE value[kLargestDigestBytes];
    const DWORD size = hash.Value(value);
    if (size == 0 || size != checksum.size) return kResultFail;
    for (DWORD i = 0; i < size; ++i) {
        if (value[i] != checksum.digest[i]) return kResultNo;
    }
    return kResultOk;
}
