#include "app/Language.h"

bool IsJapanese() {
    return (GetSystemDefaultLangID() & 0xFFFF) == kJapaneseJapan;
}
