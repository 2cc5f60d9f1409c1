// RegistryKey: one open registry key and typed reads and writes of its values. Each use is
// short: construct, Open or Create, a few queries or sets, Close (or destroy).
//
// Results: 1 success; -1 no key open or the platform refused; -4 a null argument; Close
// gives 0 when no key was open.
#pragma once

#include <windows.h>

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey(); // closes
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Closes any open key, then opens subkey of root, creating it when missing.
    // -4 for a null subkey or class.
    int Create(HKEY root, LPCWSTR subkey, DWORD reserved, LPWSTR keyClass, DWORD options,
               REGSAM access, LPSECURITY_ATTRIBUTES security);
    // Create with no class, options 0 and KEY_ALL_ACCESS.
    int Create(HKEY root, LPCWSTR subkey);
    // Closes any open key, then opens an existing subkey of root. -4 for a null subkey.
    int Open(HKEY root, LPCWSTR subkey, DWORD options, REGSAM access);
    // Open with options 0 and KEY_ALL_ACCESS.
    int Open(HKEY root, LPCWSTR subkey);
    // 1 closed; 0 no key was open.
    int Close();
    bool IsOpen() const { return key_ != nullptr; }

    // The value's data into data; *type receives its type (it is not checked against the
    // one asked for) and *byteSize, in: the buffer's size, out: the data's size.
    // -4 for a null name, type, data or byteSize.
    int Query(LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD byteSize);
    // A text into buffer of byteSize bytes, always terminated inside it. A value that does
    // not fit with its terminator is a failure. On failure buffer holds the empty text.
    int QueryText(LPCWSTR name, LPWSTR buffer, DWORD byteSize);
    // A 32-bit number; *value is changed only on success.
    int QueryNumber(LPCWSTR name, DWORD* value);
    // Raw bytes into buffer of byteSize bytes.
    int QueryBytes(LPCWSTR name, LPBYTE buffer, DWORD byteSize);

    // Stores data of byteSize bytes as a value of type. -4 for a null name or data.
    int Set(LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD byteSize);
    // REG_SZ with its terminator.
    int SetText(LPCWSTR name, LPCWSTR text);
    // REG_DWORD.
    int SetNumber(LPCWSTR name, DWORD value);
    // REG_BINARY.
    int SetBytes(LPCWSTR name, const BYTE* data, DWORD byteSize);
    // -4 for a null name.
    int DeleteValue(LPCWSTR name);

private:
    HKEY key_ = nullptr;
};
