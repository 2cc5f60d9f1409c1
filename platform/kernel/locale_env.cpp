#include "platform/kernel/locale_env.h"

#include <cstdlib>

namespace qb::kernel {

std::string LocaleVariable(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') return value;
    }
    return {};
}

LocaleName ParseLocaleName(const std::string& value) {
    LocaleName name;
    std::string rest = value.substr(0, value.find('@'));
    const size_t dot = rest.find('.');
    if (dot != std::string::npos) {
        name.codeset = rest.substr(dot + 1);
        rest.resize(dot);
    }
    // "ja_JP" as POSIX writes it; "ja-JP", the form of language tags, is taken the same way.
    const size_t separator = rest.find_first_of("_-");
    name.language = rest.substr(0, separator);
    if (separator != std::string::npos) name.territory = rest.substr(separator + 1);
    return name;
}

bool IsPortableLocale(const LocaleName& name) {
    return name.language.empty() || name.language == "C" || name.language == "POSIX";
}

} // namespace qb::kernel
