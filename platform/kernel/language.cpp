// GetSystemDefaultLangID from the locale variables (LC_ALL > LC_MESSAGES > LANG).
#include <cstring>

#include <windows.h>

#include "platform/kernel/locale_env.h"

namespace {

constexpr LANGID kEnglishUnitedStates = 0x0409;

struct LanguageEntry {
    const char* language;
    const char* territory; // nullptr: the language neutral identifier
    LANGID id;
};

// Language identifiers of the common locales; a language with a territory not listed gets
// its neutral identifier (the primary language alone, as "ja" gives 0x0011).
constexpr LanguageEntry kLanguages[] = {
    {"ja", "JP", 0x0411},    {"ja", nullptr, 0x0011}, {"en", "US", 0x0409},
    {"en", "GB", 0x0809},    {"en", "AU", 0x0C09},    {"en", "CA", 0x1009},
    {"en", nullptr, 0x0009}, {"de", "DE", 0x0407},    {"de", "AT", 0x0C07},
    {"de", "CH", 0x0807},    {"de", nullptr, 0x0007}, {"fr", "FR", 0x040C},
    {"fr", "CA", 0x0C0C},    {"fr", "BE", 0x080C},    {"fr", nullptr, 0x000C},
    {"es", "ES", 0x0C0A},    {"es", "MX", 0x080A},    {"es", nullptr, 0x000A},
    {"it", "IT", 0x0410},    {"it", nullptr, 0x0010}, {"pt", "BR", 0x0416},
    {"pt", "PT", 0x0816},    {"pt", nullptr, 0x0016}, {"nl", "NL", 0x0413},
    {"nl", nullptr, 0x0013}, {"zh", "CN", 0x0804},    {"zh", "TW", 0x0404},
    {"zh", "HK", 0x0C04},    {"zh", nullptr, 0x0004}, {"ko", "KR", 0x0412},
    {"ko", nullptr, 0x0012}, {"ru", "RU", 0x0419},    {"ru", nullptr, 0x0019},
    {"pl", "PL", 0x0415},    {"pl", nullptr, 0x0015}, {"sv", "SE", 0x041D},
    {"sv", nullptr, 0x001D}, {"fi", "FI", 0x040B},    {"fi", nullptr, 0x000B},
    {"da", "DK", 0x0406},    {"da", nullptr, 0x0006}, {"nb", "NO", 0x0414},
    {"nb", nullptr, 0x0014}, {"cs", "CZ", 0x0405},    {"cs", nullptr, 0x0005},
    {"hu", "HU", 0x040E},    {"tr", "TR", 0x041F},    {"el", "GR", 0x0408},
    {"th", "TH", 0x041E},    {"vi", "VN", 0x042A},
};

} // namespace

LANGID WINAPI GetSystemDefaultLangID(void) {
    const qb::kernel::LocaleName locale =
        qb::kernel::ParseLocaleName(qb::kernel::LocaleVariable({"LC_ALL", "LC_MESSAGES", "LANG"}));
    if (qb::kernel::IsPortableLocale(locale)) return kEnglishUnitedStates;
    const LanguageEntry* neutral = nullptr;
    for (const LanguageEntry& entry : kLanguages) {
        if (locale.language != entry.language) continue;
        if (entry.territory == nullptr) {
            neutral = &entry;
        } else if (locale.territory == entry.territory) {
            return entry.id;
        }
    }
    // A language this table does not know reads as the locale without one does.
    return neutral != nullptr ? neutral->id : kEnglishUnitedStates;
}
