#include "core/Language.h"

#include "qb/language.h"

bool IsJapanese() {
    return qb::SystemLanguageIsJapanese();
}
