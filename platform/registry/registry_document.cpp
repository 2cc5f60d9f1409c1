#include "platform/registry/registry_document.h"

#include <algorithm>
#include <utility>

namespace qb::registry {
namespace {

char16_t Fold(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? unit - (u'a' - u'A') : unit;
}

} // namespace

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

bool RegistryDocument::KeyExists(std::u16string_view path) const {
    if (path.find(u'\\') == std::u16string_view::npos) return true; // a root
    for (const RegistryKey& key : keys_) {
        const std::u16string_view candidate = key.path;
        if (NamesEqual(candidate, path)) return true;
        if (candidate.size() > path.size() && candidate[path.size()] == u'\\' &&
            NamesEqual(candidate.substr(0, path.size()), path)) {
            return true;
        }
    }
    return false;
}

const RegistryKey* RegistryDocument::FindKey(std::u16string_view path) const {
    for (const RegistryKey& key : keys_) {
        if (NamesEqual(key.path, path)) return &key;
    }
    return nullptr;
}

RegistryKey* RegistryDocument::FindKey(std::u16string_view path) {
    return const_cast<RegistryKey*>(std::as_const(*this).FindKey(path));
}

RegistryKey& RegistryDocument::EnsureKey(std::u16string_view path) {
    if (RegistryKey* key = FindKey(path)) return *key;
    keys_.push_back(RegistryKey{std::u16string(path), {}});
    return keys_.back();
}

const RegistryValue* RegistryDocument::FindValue(const RegistryKey& key, std::u16string_view name) {
    for (const RegistryValue& value : key.values) {
        if (NamesEqual(value.name, name)) return &value;
    }
    return nullptr;
}

void RegistryDocument::SetValue(RegistryKey& key, RegistryValue value) {
    for (RegistryValue& existing : key.values) {
        if (NamesEqual(existing.name, value.name)) {
            existing.type = value.type;
            existing.data = std::move(value.data);
            return;
        }
    }
    key.values.push_back(std::move(value));
}

bool RegistryDocument::DeleteValue(RegistryKey& key, std::u16string_view name) {
    const auto found =
        std::find_if(key.values.begin(), key.values.end(),
                     [&](const RegistryValue& v) { return NamesEqual(v.name, name); });
    if (found == key.values.end()) return false;
    key.values.erase(found);
    return true;
}

} // namespace qb::registry
