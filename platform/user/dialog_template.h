// Reads DLGTEMPLATE and DLGTEMPLATEEX bytes, as the resource compiler writes them, into a
// plain description. Every read is checked against the size given; malformed bytes give
// false, never a read past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

namespace qb::user {

// A name or an ordinal, as templates store class names, titles and menus.
struct NameOrOrdinal {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::u16string name;
    bool Empty() const { return !isOrdinal && name.empty(); }
};

// Its leading fields repeat the dialog's, as DLGITEMTEMPLATEEX repeats DLGTEMPLATEEX: two records.
struct DialogItem {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    DWORD id = 0;
    NameOrOrdinal windowClass; // ordinal: 0x0080 button ... 0x0085 combo box
    NameOrOrdinal title;       // ordinal: a resource (the icon of an SS_ICON static)
    std::vector<BYTE> creationData;
};

struct DialogTemplate {
    bool extended = false;
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    NameOrOrdinal menu;
    NameOrOrdinal windowClass;
    std::u16string title;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::u16string typeface;
    std::vector<DialogItem> items;
};

// The bound a template is read within when its size isn't known (the indirect calls).
constexpr size_t kMaxTemplateBytes = 64 * 1024;
// Controls one dialog holds at most.
constexpr size_t kMaxDialogItems = 1024;

bool ParseDialogTemplate(const void* bytes, size_t size, DialogTemplate* out);

} // namespace qb::user
