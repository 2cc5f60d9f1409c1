// Resource bytes in the Win32 layouts: DLGTEMPLATEEX, the standard menu template, the
// RT_GROUP_ICON/RT_ICON split of an .ico file and the RT_BITMAP form of a .bmp file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/rc/rc_model.h"

namespace qb::rc {

using Bytes = std::vector<uint8_t>;

// DLGTEMPLATEEX: the header, then each DLGITEMTEMPLATEEX on a DWORD boundary (counted from
// the start of the template).
Bytes encodeDialog(const Dialog& dialog);

// MENUITEMTEMPLATEHEADER (version 0, offset 0) and the items; MF_END marks the last item
// of every level, MF_POPUP an item followed by its own items.
Bytes encodeMenu(const Menu& menu);

struct IconSplit {
    Bytes group;               // GRPICONDIR with one GRPICONDIRENTRY per image
    std::vector<Bytes> images; // RT_ICON bodies, ids firstId, firstId + 1, ...
};

// Splits an .ico file; false with *error when the file is not a well-formed icon file.
bool splitIconFile(std::string_view file, uint16_t firstId, IconSplit* out, std::string* error);

// An RT_BITMAP holds the .bmp file without its 14-byte BITMAPFILEHEADER.
bool bitmapFromFile(std::string_view file, Bytes* out, std::string* error);

} // namespace qb::rc
