#include "platform/kernel/code_set.h"

#include <cctype>
#include <cstdio>

#include "platform/kernel/locale_env.h"
#include "win/kernel.h"

namespace qb::kernel {
namespace {

// Lower case without "-" and "_": "Shift_JIS", "shift-jis" and "SHIFTJIS" compare equal.
std::string Normalized(const std::string& codeSet) {
    std::string out;
    for (char c : codeSet) {
        if (c == '-' || c == '_') continue;
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return out;
}

struct CodeSetAlias {
    const char* normalizedName;
    const char* iconvName;
};

// Shift JIS as Windows has it is code page 932 (with the vendor extensions), not the
// plain JIS X 0208 variant that iconv calls SJIS.
constexpr CodeSetAlias kLocaleCodeSets[] = {
    {"utf8", kUtf8CodeSet},  {"sjis", "CP932"},        {"shiftjis", "CP932"}, {"cp932", "CP932"},
    {"windows31j", "CP932"}, {"mskanji", "CP932"},     {"pck", "CP932"},      {"eucjp", "EUC-JP"},
    {"ujis", "EUC-JP"},      {"eucjpms", "EUC-JP-MS"},
};

struct CodePageName {
    UINT codePage;
    const char* iconvName;
};

constexpr CodePageName kCodePages[] = {
    {CP_UTF8, kUtf8CodeSet}, {932, "CP932"},        {20932, "EUC-JP"},      {51932, "EUC-JP"},
    {50220, "ISO-2022-JP"},  {20127, "ASCII"},      {28591, "ISO-8859-1"},  {28592, "ISO-8859-2"},
    {28595, "ISO-8859-5"},   {28597, "ISO-8859-7"}, {28605, "ISO-8859-15"}, {936, "CP936"},
    {949, "CP949"},          {950, "BIG5"},         {20866, "KOI8-R"},
};

// Windows code pages below this number are spelled "CP" and the number in iconv
// (437, 850, 1250 to 1258 ...).
constexpr UINT kLastPlainCodePage = 1258;
constexpr size_t kCodePageNameCapacity = 16;

} // namespace

std::string AnsiCodeSet() {
    const LocaleName locale = ParseLocaleName(LocaleVariable({"LC_ALL", "LC_CTYPE", "LANG"}));
    if (IsPortableLocale(locale) || locale.codeset.empty()) return kUtf8CodeSet;
    const std::string key = Normalized(locale.codeset);
    for (const CodeSetAlias& alias : kLocaleCodeSets) {
        if (key == alias.normalizedName) return alias.iconvName;
    }
    return locale.codeset;
}

std::string CodeSetOfCodePage(UINT codePage) {
    if (codePage == CP_ACP || codePage == CP_OEMCP) return AnsiCodeSet();
    for (const CodePageName& entry : kCodePages) {
        if (entry.codePage == codePage) return entry.iconvName;
    }
    if (codePage <= kLastPlainCodePage) {
        char name[kCodePageNameCapacity];
        std::snprintf(name, sizeof name, "CP%u", codePage);
        return name;
    }
    return {};
}

} // namespace qb::kernel
