#include "platform/registry/registry_document.h"

#include <algorithm>
#include <utility>

namespace qb::registry {
namespace {

char16_t Fold(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? unit - (u'a' - u'A') : unit;
}

} // namespace

std::u16string RegistryDocument::Folded(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& unit : folded) unit = Fold(unit);
    return folded;
}

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

bool RegistryDocument::KeyExists(std::u16string_view path) const {
    if (path.find(u'\\') == std::u16string_view::npos) return true; // a root
    const std::u16string folded = Folded(path);
    return keyIndex_.count(folded) != 0 || ancestors_.count(folded) != 0;
}

const RegistryKey* RegistryDocument::FindKey(std::u16string_view path) const {
    const auto found = keyIndex_.find(Folded(path));
    return found != keyIndex_.end() ? &keys_[found->second] : nullptr;
}

RegistryKey* RegistryDocument::FindKey(std::u16string_view path) {
    return const_cast<RegistryKey*>(std::as_const(*this).FindKey(path));
}

RegistryKey& RegistryDocument::EnsureKey(std::u16string_view path) {
    std::u16string folded = Folded(path);
    const auto [place, added] = keyIndex_.try_emplace(folded, keys_.size());
    if (!added) return keys_[place->second];
    for (size_t slash = folded.rfind(u'\\'); slash != std::u16string::npos && slash > 0;
         slash = folded.rfind(u'\\', slash - 1)) {
        // Once an ancestor is known, so are all of its own.
        folded.resize(slash);
        if (!ancestors_.insert(folded).second) break;
    }
    keys_.push_back(RegistryKey{std::u16string(path), {}, {}});
    return keys_.back();
}

const RegistryValue* RegistryDocument::FindValue(const RegistryKey& key, std::u16string_view name) {
    if (key.valueIndex.empty()) {
        for (const RegistryValue& value : key.values) {
            if (NamesEqual(value.name, name)) return &value;
        }
        return nullptr;
    }
    const auto found = key.valueIndex.find(Folded(name));
    return found != key.valueIndex.end() ? &key.values[found->second] : nullptr;
}

void RegistryDocument::SetValue(RegistryKey& key, RegistryValue value) {
    if (const RegistryValue* found = FindValue(key, value.name)) {
        RegistryValue& existing = key.values[size_t(found - key.values.data())];
        existing.type = value.type;
        existing.data = std::move(value.data);
        return;
    }
    key.values.push_back(std::move(value));
    if (!key.valueIndex.empty()) {
        key.valueIndex.emplace(Folded(key.values.back().name), key.values.size() - 1);
    } else if (key.values.size() > kLinearValues) {
        IndexValues(key);
    }
}

void RegistryDocument::IndexValues(RegistryKey& key) {
    key.valueIndex.clear();
    if (key.values.size() <= kLinearValues) return;
    for (size_t i = 0; i < key.values.size(); ++i) {
        key.valueIndex.emplace(Folded(key.values[i].name), i);
    }
}

bool RegistryDocument::DeleteValue(RegistryKey& key, std::u16string_view name) {
    const RegistryValue* found = FindValue(key, name);
    if (found == nullptr) return false;
    key.values.erase(key.values.begin() + (found - key.values.data()));
    IndexValues(key);
    return true;
}

} // namespace qb::registry
