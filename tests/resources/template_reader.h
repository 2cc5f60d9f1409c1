// Reads DLGTEMPLATEEX and standard menu templates back from their bytes, checking every
// bound, so tests can compare what the resource compiler wrote with what was meant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace templates {

struct NameOrOrdinal {
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    std::u16string text;
};

struct Control {
    uint32_t helpId = 0, exStyle = 0, style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t id = 0;
    NameOrOrdinal windowClass;
    NameOrOrdinal title;
    uint16_t extraCount = 0;
    size_t offset = 0; // where the item starts, from the start of the template
};

struct Dialog {
    uint16_t version = 0, signature = 0;
    uint32_t helpId = 0, exStyle = 0, style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrdinal menu, windowClass;
    std::u16string title;
    uint16_t pointSize = 0, weight = 0;
    uint8_t italic = 0, charset = 0;
    std::u16string typeface;
    std::vector<Control> controls;
};

// False when the bytes are not a complete DLGTEMPLATEEX (every control included).
bool readDialog(const uint8_t* bytes, size_t size, Dialog* out);

struct MenuItem {
    uint16_t flags = 0;
    uint16_t id = 0; // not present for pop-ups
    std::u16string text;
    std::vector<MenuItem> children;
};

// False when the bytes are not a complete standard menu template.
bool readMenu(const uint8_t* bytes, size_t size, std::vector<MenuItem>* items);

} // namespace templates
