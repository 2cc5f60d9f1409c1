#include "base/RegistryKey.h"

#include "base/Results.h"
#include "base/StringUtil.h"

namespace {

// RegCreateKeyExW takes the class as a writable text; the short form passes this empty one.
WCHAR emptyClass[1] = {0};

constexpr DWORD kNumberSize = sizeof(DWORD);
constexpr DWORD kLongestTextBytes = 0x7FFFFFFE; // a byte size that fits the platform's DWORD

int PlatformResult(LONG status) {
    return status == ERROR_SUCCESS ? kResultOk : kResultFail;
}

} // namespace

RegistryKey::~RegistryKey() {
    Close();
}

int RegistryKey::Create(HKEY root, LPCWSTR subkey, DWORD reserved, LPWSTR keyClass, DWORD options,
                        REGSAM access, LPSECURITY_ATTRIBUTES security) {
    if (subkey == nullptr || keyClass == nullptr) return kResultNullArgument;
    Close();
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LONG status = RegCreateKeyExW(root, subkey, reserved, keyClass, options, access, security,
                                        &key, &disposition);
    if (status != ERROR_SUCCESS) return kResultFail;
    key_ = key;
    return kResultOk;
}

int RegistryKey::Create(HKEY root, LPCWSTR subkey) {
    return Create(root, subkey, 0, emptyClass, 0, KEY_ALL_ACCESS, nullptr);
}

int RegistryKey::Open(HKEY root, LPCWSTR subkey, DWORD options, REGSAM access) {
    if (subkey == nullptr) return kResultNullArgument;
    Close();
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subkey, options, access, &key) != ERROR_SUCCESS) return kResultFail;
    key_ = key;
    return kResultOk;
}

int RegistryKey::Open(HKEY root, LPCWSTR subkey) {
    return Open(root, subkey, 0, KEY_ALL_ACCESS);
}

int RegistryKey::Close() {
    if (key_ == nullptr) return kResultNo;
    RegCloseKey(key_);
    key_ = nullptr;
    return kResultOk;
}

int RegistryKey::Query(LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                       LPDWORD byteSize) {
    if (name == nullptr || type == nullptr || data == nullptr || byteSize == nullptr) {
        return kResultNullArgument;
    }
    if (key_ == nullptr) return kResultFail;
    return PlatformResult(RegQueryValueExW(key_, name, reserved, type, data, byteSize));
}

int RegistryKey::QueryText(LPCWSTR name, LPWSTR buffer, DWORD byteSize) {
    if (name == nullptr || buffer == nullptr) return kResultNullArgument;
    const DWORD units = byteSize / sizeof(WCHAR);
    if (units == 0) return kResultFail;
    DWORD type = REG_SZ;
    DWORD size = units * sizeof(WCHAR);
    int result = Query(name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    if (result == kResultOk) {
        // The stored data need not end with a terminator; a text that fills the whole
        // buffer without one did not fit.
        const DWORD received = size / sizeof(WCHAR);
        if (received < units) {
            buffer[received] = 0;
            return kResultOk;
        }
        if (buffer[units - 1] == 0) return kResultOk;
        result = kResultFail;
    }
    buffer[0] = 0;
    return result;
}

int RegistryKey::QueryNumber(LPCWSTR name, DWORD* value) {
    if (name == nullptr || value == nullptr) return kResultNullArgument;
    DWORD number = 0;
    DWORD type = REG_DWORD;
    DWORD size = kNumberSize;
    const int result = Query(name, nullptr, &type, reinterpret_cast<LPBYTE>(&number), &size);
    if (result == kResultOk) *value = number;
    return result;
}

int RegistryKey::QueryBytes(LPCWSTR name, LPBYTE buffer, DWORD byteSize) {
    DWORD type = REG_BINARY;
    return Query(name, nullptr, &type, buffer, &byteSize);
}

int RegistryKey::Set(LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD byteSize) {
    if (name == nullptr || data == nullptr) return kResultNullArgument;
    if (key_ == nullptr) return kResultFail;
    return PlatformResult(RegSetValueExW(key_, name, reserved, type, data, byteSize));
}

int RegistryKey::SetText(LPCWSTR name, LPCWSTR text) {
    if (name == nullptr || text == nullptr) return kResultNullArgument;
    DWORD length = 0;
    StrLength(text, &length);
    if (length >= kLongestTextBytes / sizeof(WCHAR)) return kResultFail;
    return Set(name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
               (length + 1) * static_cast<DWORD>(sizeof(WCHAR)));
}

int RegistryKey::SetNumber(LPCWSTR name, DWORD value) {
    return Set(name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), kNumberSize);
}

int RegistryKey::SetBytes(LPCWSTR name, const BYTE* data, DWORD byteSize) {
    return Set(name, 0, REG_BINARY, data, byteSize);
}

int RegistryKey::DeleteValue(LPCWSTR name) {
    if (name == nullptr) return kResultNullArgument;
    if (key_ == nullptr) return kResultFail;
    return PlatformResult(RegDeleteValueW(key_, name));
}
