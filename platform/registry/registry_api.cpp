// The registry functions over the registry file: key handles and their values.
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>

#include <windows.h>

#include "platform/registry/registry_document.h"
#include "platform/registry/registry_file.h"

using namespace qb::registry;

namespace {

// Windows' limits: a key name component of 255 units, a value name of 16383.
constexpr size_t kMaxKeyNameUnits = 255;
constexpr size_t kMaxValueNameUnits = 16383;
// The largest value accepted; the file stays a small text.
constexpr DWORD kMaxValueBytes = 1024 * 1024;
constexpr std::u16string_view kCurrentUserRoot = u"HKEY_CURRENT_USER";
constexpr uintptr_t kHandleStep = 4;

struct OpenKey {
    std::u16string path;
    REGSAM access = 0;
};

struct KeyTable {
    std::mutex mutex;
    uintptr_t lastValue = 0;
    std::unordered_map<uintptr_t, OpenKey> keys;
};

KeyTable& OpenKeys() {
    static auto* table = new KeyTable; // outlives every thread that may still close keys
    return *table;
}

std::optional<OpenKey> Resolve(HKEY key) {
    if (key == HKEY_CURRENT_USER) return OpenKey{std::u16string(kCurrentUserRoot), KEY_ALL_ACCESS};
    KeyTable& table = OpenKeys();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto found = table.keys.find(reinterpret_cast<uintptr_t>(key));
    if (found == table.keys.end()) return std::nullopt;
    return found->second;
}

// The open key behind the handle, when it was opened with the right asked for.
LONG ResolveFor(HKEY handle, REGSAM right, OpenKey* out) {
    std::optional<OpenKey> key = Resolve(handle);
    if (!key) return ERROR_INVALID_HANDLE;
    if ((key->access & right) == 0) return ERROR_ACCESS_DENIED;
    *out = std::move(*key);
    return ERROR_SUCCESS;
}

HKEY InsertKey(OpenKey key) {
    KeyTable& table = OpenKeys();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.lastValue += kHandleStep;
    table.keys.emplace(table.lastValue, std::move(key));
    return reinterpret_cast<HKEY>(table.lastValue);
}

bool IsPlainName(std::u16string_view name, size_t maxUnits) {
    if (name.size() > maxUnits) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i];
        if (unit < 0x20) return false; // the file keeps one entry per line
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

// The full path of subKey under parent; an error code when subKey is not a key name.
LONG ChildPath(const std::u16string& parent, LPCWSTR subKey, std::u16string* path) {
    *path = parent;
    if (subKey == nullptr || subKey[0] == 0) return ERROR_SUCCESS;
    std::u16string_view rest(subKey);
    if (rest.front() == u'\\') return ERROR_BAD_PATHNAME;
    if (rest.back() == u'\\') rest.remove_suffix(1);
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(u'\\', start);
        if (end == std::u16string_view::npos) end = rest.size();
        const std::u16string_view component = rest.substr(start, end - start);
        if (component.empty()) return ERROR_BAD_PATHNAME;
        if (!IsPlainName(component, kMaxKeyNameUnits)) return ERROR_INVALID_PARAMETER;
        *path += u'\\';
        *path += component;
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

std::u16string_view ValueName(LPCWSTR name) {
    return name == nullptr ? std::u16string_view() : std::u16string_view(name);
}

} // namespace

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
    (void)Reserved;
    (void)lpClass;
    (void)dwOptions; // volatile keys are kept like the others
    (void)lpSecurityAttributes;
    if (phkResult == nullptr || lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    try {
        const std::optional<OpenKey> parent = Resolve(hKey);
        if (!parent) return ERROR_INVALID_HANDLE;
        std::u16string path;
        const LONG named = ChildPath(parent->path, lpSubKey, &path);
        if (named != ERROR_SUCCESS) return named;

        bool created = false;
        std::shared_ptr<const RegistryDocument> current;
        LONG result = LoadRegistry(&current);
        if (result != ERROR_SUCCESS) return result;
        if (!current->KeyExists(path)) {
            result = UpdateRegistry([&](RegistryDocument& document, bool* changed) {
                if (!document.KeyExists(path)) {
                    document.EnsureKey(path);
                    created = *changed = true;
                }
                return LONG(ERROR_SUCCESS);
            });
            if (result != ERROR_SUCCESS) return result;
        }
        *phkResult = InsertKey(OpenKey{path, samDesired});
        if (lpdwDisposition != nullptr) {
            *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
        return ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) {
    (void)ulOptions;
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    try {
        const std::optional<OpenKey> parent = Resolve(hKey);
        if (!parent) return ERROR_INVALID_HANDLE;
        std::u16string path;
        const LONG named = ChildPath(parent->path, lpSubKey, &path);
        if (named != ERROR_SUCCESS) return named;
        std::shared_ptr<const RegistryDocument> document;
        const LONG loaded = LoadRegistry(&document);
        if (loaded != ERROR_SUCCESS) return loaded;
        if (!document->KeyExists(path)) return ERROR_FILE_NOT_FOUND;
        *phkResult = InsertKey(OpenKey{path, samDesired});
        return ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CURRENT_USER) return ERROR_SUCCESS; // closing a root is allowed
    KeyTable& table = OpenKeys();
    std::lock_guard<std::mutex> lock(table.mutex);
    return table.keys.erase(reinterpret_cast<uintptr_t>(hKey)) == 1 ? ERROR_SUCCESS
                                                                    : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    try {
        OpenKey key;
        const LONG opened = ResolveFor(hKey, KEY_QUERY_VALUE, &key);
        if (opened != ERROR_SUCCESS) return opened;
        std::shared_ptr<const RegistryDocument> document;
        const LONG loaded = LoadRegistry(&document);
        if (loaded != ERROR_SUCCESS) return loaded;
        if (!document->KeyExists(key.path)) return ERROR_KEY_DELETED;
        const RegistryKey* section = document->FindKey(key.path);
        const RegistryValue* value =
            section ? RegistryDocument::FindValue(*section, ValueName(lpValueName)) : nullptr;
        if (value == nullptr) return ERROR_FILE_NOT_FOUND;
        if (lpType != nullptr) *lpType = value->type;
        const DWORD size = DWORD(value->data.size());
        if (lpcbData == nullptr) return ERROR_SUCCESS;
        if (lpData != nullptr && *lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (lpData != nullptr && size > 0) std::memcpy(lpData, value->data.data(), size);
        *lpcbData = size;
        return ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
    (void)Reserved;
    if (lpData == nullptr && cbData > 0) return ERROR_NOACCESS;
    if (cbData > kMaxValueBytes || !IsPlainName(ValueName(lpValueName), kMaxValueNameUnits)) {
        return ERROR_INVALID_PARAMETER;
    }
    try {
        OpenKey key;
        const LONG opened = ResolveFor(hKey, KEY_SET_VALUE, &key);
        if (opened != ERROR_SUCCESS) return opened;
        RegistryValue value;
        value.name = ValueName(lpValueName);
        value.type = dwType;
        if (cbData > 0) value.data.assign(lpData, lpData + cbData);
        // The same value again changes nothing: the file is not rewritten (a program that
        // records its settings at every start would otherwise fsync every time).
        const auto holds = [&](const RegistryDocument& document) {
            const RegistryKey* section = document.FindKey(key.path);
            const RegistryValue* held =
                section != nullptr ? RegistryDocument::FindValue(*section, value.name) : nullptr;
            return held != nullptr && held->name == value.name && held->type == value.type &&
                   held->data == value.data;
        };
        return UpdateRegistry(
            [&](RegistryDocument& document, bool* changed) {
                if (holds(document)) return LONG(ERROR_SUCCESS);
                RegistryDocument::SetValue(document.EnsureKey(key.path), std::move(value));
                *changed = true;
                return LONG(ERROR_SUCCESS);
            },
            holds);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    try {
        OpenKey key;
        const LONG opened = ResolveFor(hKey, KEY_SET_VALUE, &key);
        if (opened != ERROR_SUCCESS) return opened;
        return UpdateRegistry([&](RegistryDocument& document, bool* changed) {
            RegistryKey* section = document.FindKey(key.path);
            if (section == nullptr ||
                !RegistryDocument::DeleteValue(*section, ValueName(lpValueName))) {
                return LONG(ERROR_FILE_NOT_FOUND);
            }
            *changed = true;
            return LONG(ERROR_SUCCESS);
        });
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}
