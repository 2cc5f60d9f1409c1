// The user's locale as the environment names it, parsed without setlocale: the process
// may name a locale that is not installed, and the answer must follow the variables alone.
#pragma once

#include <initializer_list>
#include <string>

namespace qb::kernel {

// "language[_TERRITORY][.codeset][@modifier]", "-" taken for "_" too; absent parts stay empty.
struct LocaleName {
    std::string language;
    std::string territory;
    std::string codeset;
};

// The first of the variables that is set and not empty, as POSIX orders LC_ALL, LC_xxx
// and LANG; "" when none is.
std::string LocaleVariable(std::initializer_list<const char*> names);

LocaleName ParseLocaleName(const std::string& value);

// True for "C", "POSIX" and their codeset variants ("C.UTF-8"), and for "".
bool IsPortableLocale(const LocaleName& name);

} // namespace qb::kernel
