// The registry as one document: keys in file order, each with its values in file order.
// Key paths are full ("HKEY_CURRENT_USER\Software\Vr"), so that keys of other roots in a
// hand-written file are kept when the file is rewritten. Names compare as Windows compares
// them: without regard to (ASCII) case.
#pragma once

#include <string>
#include <vector>

#include "win/types.h"

namespace qb::registry {

struct RegistryValue {
    std::u16string name; // "" is the key's default value ("@" in the file)
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct RegistryKey {
    std::u16string path;
    std::vector<RegistryValue> values;
};

bool NamesEqual(std::u16string_view a, std::u16string_view b);

class RegistryDocument {
public:
    // A key exists when it has a section of its own or below it; a root always exists.
    bool KeyExists(std::u16string_view path) const;
    const RegistryKey* FindKey(std::u16string_view path) const;
    RegistryKey* FindKey(std::u16string_view path);
    RegistryKey& EnsureKey(std::u16string_view path);

    static const RegistryValue* FindValue(const RegistryKey& key, std::u16string_view name);
    // Replaces a value of that name (keeping its place) or appends it.
    static void SetValue(RegistryKey& key, RegistryValue value);
    static bool DeleteValue(RegistryKey& key, std::u16string_view name);

    const std::vector<RegistryKey>& Keys() const { return keys_; }

private:
    std::vector<RegistryKey> keys_;
};

} // namespace qb::registry
