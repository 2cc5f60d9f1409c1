// CryptoAPI hashes over OpenSSL 3's libcrypto, loaded at the first context the way
// platform/winsock loads libssl: linked, it would cost every run its relocations.
#include <cstring>
#include <new>

#include <dlfcn.h>
#include <openssl/evp.h>

#include <wincrypt.h>

namespace qb::crypto {
namespace {

// The calls made, each name standing for the library's function in this file.
// One call a line: the formatter folds a macro list differently on every run.
// clang-format off
#define QB_CRYPTO_CALLS(X) \
    X(EVP_DigestFinal_ex) \
    X(EVP_DigestInit_ex) \
    X(EVP_DigestUpdate) \
    X(EVP_MD_CTX_free) \
    X(EVP_MD_CTX_new) \
    X(EVP_sha256) \
    X(EVP_sha512)
// clang-format on

#define QB_CRYPTO_POINTER(name) decltype(&::name) name = nullptr;
QB_CRYPTO_CALLS(QB_CRYPTO_POINTER)
#undef QB_CRYPTO_POINTER

// libcrypto, once per process; false when it is missing or lacks a call.
bool LoadCrypto() {
    static const bool loaded = [] {
        void* library = dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return false;
        bool found = true;
#define QB_CRYPTO_FIND(name)                                                                       \
    name = reinterpret_cast<decltype(name)>(dlsym(library, #name));                                \
    found = found && name != nullptr;
        QB_CRYPTO_CALLS(QB_CRYPTO_FIND)
#undef QB_CRYPTO_FIND
        return found; // stays loaded: its calls are used until the exit
    }();
    return loaded;
}

constexpr DWORD kLargestDigestBytes = 64;
constexpr DWORD kProviderMark = 0x43525950; // tells a context from any other value

struct Provider {
    DWORD mark = kProviderMark;
};

struct Hash {
    EVP_MD_CTX* context = nullptr;
    DWORD size = 0;
    bool finished = false;
    BYTE value[kLargestDigestBytes] = {};
};

Provider* ProviderOf(HCRYPTPROV handle) {
    auto* provider = reinterpret_cast<Provider*>(handle);
    return provider != nullptr && provider->mark == kProviderMark ? provider : nullptr;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

} // namespace
} // namespace qb::crypto

namespace crypto = qb::crypto;

BOOL WINAPI CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR, LPCWSTR, DWORD, DWORD dwFlags) {
    if (phProv == nullptr) return crypto::Fail(ERROR_INVALID_PARAMETER);
    *phProv = 0;
    if (dwFlags != CRYPT_VERIFYCONTEXT) return crypto::Fail(static_cast<DWORD>(NTE_BAD_FLAGS));
    if (!crypto::LoadCrypto()) return crypto::Fail(static_cast<DWORD>(NTE_PROVIDER_DLL_FAIL));
    auto* provider = new (std::nothrow) crypto::Provider;
    if (provider == nullptr) return crypto::Fail(ERROR_NOT_ENOUGH_MEMORY);
    *phProv = reinterpret_cast<HCRYPTPROV>(provider);
    return TRUE;
}

BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
    crypto::Provider* provider = crypto::ProviderOf(hProv);
    if (provider == nullptr || dwFlags != 0) return crypto::Fail(ERROR_INVALID_PARAMETER);
    provider->mark = 0;
    delete provider;
    return TRUE;
}

BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                            HCRYPTHASH* phHash) {
    if (phHash == nullptr || crypto::ProviderOf(hProv) == nullptr || hKey != 0 || dwFlags != 0)
        return crypto::Fail(ERROR_INVALID_PARAMETER);
    *phHash = 0;
    const EVP_MD* digest = nullptr;
    DWORD size = 0;
    if (Algid == CALG_SHA_256) {
        digest = crypto::EVP_sha256();
        size = 32;
    } else if (Algid == CALG_SHA_512) {
        digest = crypto::EVP_sha512();
        size = 64;
    } else {
        return crypto::Fail(static_cast<DWORD>(NTE_BAD_ALGID));
    }
    auto* hash = new (std::nothrow) crypto::Hash;
    if (hash == nullptr) return crypto::Fail(ERROR_NOT_ENOUGH_MEMORY);
    hash->context = crypto::EVP_MD_CTX_new();
    if (hash->context == nullptr ||
        crypto::EVP_DigestInit_ex(hash->context, digest, nullptr) != 1) {
        crypto::EVP_MD_CTX_free(hash->context);
        delete hash;
        return crypto::Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    hash->size = size;
    *phHash = reinterpret_cast<HCRYPTHASH>(hash);
    return TRUE;
}

BOOL WINAPI CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags) {
    auto* hash = reinterpret_cast<crypto::Hash*>(hHash);
    if (hash == nullptr || dwFlags != 0 || (pbData == nullptr && dwDataLen != 0))
        return crypto::Fail(ERROR_INVALID_PARAMETER);
    if (hash->finished) return crypto::Fail(static_cast<DWORD>(NTE_BAD_HASH_STATE));
    if (dwDataLen != 0 && crypto::EVP_DigestUpdate(hash->context, pbData, dwDataLen) != 1)
        return crypto::Fail(static_cast<DWORD>(NTE_BAD_HASH_STATE));
    return TRUE;
}

BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                              DWORD dwFlags) {
    auto* hash = reinterpret_cast<crypto::Hash*>(hHash);
    if (hash == nullptr || pdwDataLen == nullptr || dwFlags != 0)
        return crypto::Fail(ERROR_INVALID_PARAMETER);
    if (dwParam == HP_HASHSIZE) {
        const DWORD needed = sizeof(DWORD);
        if (pbData == nullptr || *pdwDataLen < needed) {
            const bool asked = pbData == nullptr;
            *pdwDataLen = needed;
            return asked ? TRUE : crypto::Fail(ERROR_MORE_DATA);
        }
        std::memcpy(pbData, &hash->size, needed);
        *pdwDataLen = needed;
        return TRUE;
    }
    if (dwParam != HP_HASHVAL) return crypto::Fail(static_cast<DWORD>(NTE_BAD_ALGID));
    if (pbData == nullptr || *pdwDataLen < hash->size) {
        const bool asked = pbData == nullptr;
        *pdwDataLen = hash->size;
        return asked ? TRUE : crypto::Fail(ERROR_MORE_DATA);
    }
    if (!hash->finished) {
        unsigned int produced = 0;
        if (crypto::EVP_DigestFinal_ex(hash->context, hash->value, &produced) != 1 ||
            produced != hash->size) {
            return crypto::Fail(static_cast<DWORD>(NTE_BAD_HASH_STATE));
        }
        hash->finished = true;
    }
    std::memcpy(pbData, hash->value, hash->size);
    *pdwDataLen = hash->size;
    return TRUE;
}

BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash) {
    auto* hash = reinterpret_cast<crypto::Hash*>(hHash);
    if (hash == nullptr) return crypto::Fail(ERROR_INVALID_PARAMETER);
    crypto::EVP_MD_CTX_free(hash->context);
    delete hash;
    return TRUE;
}
