// The CryptoAPI subset the system uses: a verify-only context and SHA-256 / SHA-512 hashes.
// On Linux the digests come from OpenSSL's libcrypto (platform/crypto); on Windows this
// header is the system's own.
#pragma once

#include <windows.h>

typedef ULONG_PTR HCRYPTPROV;
typedef ULONG_PTR HCRYPTHASH;
typedef ULONG_PTR HCRYPTKEY;
typedef unsigned int ALG_ID;

#define PROV_RSA_AES 24
#define CRYPT_VERIFYCONTEXT 0xF0000000UL

#define CALG_SHA_256 0x0000800cU
#define CALG_SHA_512 0x0000800eU

#define HP_HASHVAL 0x0002
#define HP_HASHSIZE 0x0004

// HRESULTs, as Windows' winerror.h types them: a signed 32-bit LONG (negative).
#define NTE_BAD_HASH_STATE ((LONG)0x8009000CL)
#define NTE_BAD_ALGID ((LONG)0x80090008L)
#define NTE_BAD_FLAGS ((LONG)0x80090009L)
#define NTE_PROVIDER_DLL_FAIL ((LONG)0x8009001DL)

// Any provider type is taken; only CRYPT_VERIFYCONTEXT (no key container) is supported.
BOOL WINAPI CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR szContainer, LPCWSTR szProvider,
                                 DWORD dwProvType, DWORD dwFlags);
BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);
// Algorithms CALG_SHA_256 and CALG_SHA_512 without a key; NTE_BAD_ALGID otherwise.
BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                            HCRYPTHASH* phHash);
// NTE_BAD_HASH_STATE once the value was taken.
BOOL WINAPI CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags);
// HP_HASHVAL (finishes the hash; later calls give the same value) or HP_HASHSIZE (a DWORD).
// A null pbData gives the size needed in *pdwDataLen; a buffer too small fails with
// ERROR_MORE_DATA.
BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                              DWORD dwFlags);
BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash);
