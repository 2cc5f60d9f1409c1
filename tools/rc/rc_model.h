// What a resource script describes, after parsing and before encoding into bytes.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace qb::rc {

// Resource types as the Win32 resource table numbers them.
inline constexpr uint16_t kTypeBitmap = 2;
inline constexpr uint16_t kTypeIcon = 3;
inline constexpr uint16_t kTypeMenu = 4;
inline constexpr uint16_t kTypeDialog = 5;
inline constexpr uint16_t kTypeGroupIcon = 14;

// Where a statement stands in the sources, for messages found after parsing.
struct SourceLine {
    std::string file;
    int line = 0;
};

// A dialog template field that is either an ordinal (0xFFFF, value) or a text.
struct NameOrOrdinal {
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    std::u16string text;
};

struct DialogControl {
    NameOrOrdinal windowClass; // atom 0x0080 button ... or a class name
    NameOrOrdinal title;       // the text, or an icon's resource ordinal
    uint32_t id = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    uint32_t helpId = 0;
};

struct Dialog {
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    uint32_t helpId = 0;
    std::u16string caption;
    bool hasFont = false;
    uint16_t pointSize = 0;
    uint16_t weight = 0;
    uint8_t italic = 0;
    uint8_t charset = 1; // DEFAULT_CHARSET
    std::u16string typeface;
    std::vector<DialogControl> controls;
};

struct MenuItem {
    std::u16string text;
    uint16_t id = 0;
    uint16_t flags = 0; // MF_GRAYED, MF_CHECKED ... without MF_POPUP and MF_END
    bool isPopup = false;
    bool isSeparator = false;
    std::vector<MenuItem> children;
};

struct Menu {
    std::vector<MenuItem> items;
};

// ICON and BITMAP statements: the file as the statement names it; it is found relative to
// the script that holds the statement (SourceLine::file).
struct FileResource {
    std::string name;
};

struct ResourceStatement {
    uint16_t type = 0; // kTypeDialog, kTypeMenu, kTypeIcon (an .ico file), kTypeBitmap
    uint16_t id = 0;
    uint16_t language = 0;
    SourceLine where;
    std::variant<Dialog, Menu, FileResource> body;
};

struct ResourceScript {
    std::vector<ResourceStatement> resources;
};

} // namespace qb::rc
