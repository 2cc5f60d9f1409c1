// The registry as one document: keys in file order, each with its values in file order.
// Key paths are full ("HKEY_CURRENT_USER\Software\Vr"), so that keys of other roots in a
// hand-written file are kept when the file is rewritten. Names compare as Windows compares
// them: without regard to (ASCII) case.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
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
    // Each value's place in values, by its name folded to upper case, once there are more
    // than a few: a file of many values is read in linear time. Kept by SetValue and
    // DeleteValue.
    std::unordered_map<std::u16string, size_t> valueIndex;
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
    // Up to this many values a key is searched, not indexed.
    static constexpr size_t kLinearValues = 8;
    static std::u16string Folded(std::u16string_view name);
    static void IndexValues(RegistryKey& key);

    std::vector<RegistryKey> keys_;
    // By path folded to upper case: each key's place in keys_, and every path that has a
    // key below it. A file of many sections is read in linear time.
    std::unordered_map<std::u16string, size_t> keyIndex_;
    std::unordered_set<std::u16string> ancestors_;
};

} // namespace qb::registry
