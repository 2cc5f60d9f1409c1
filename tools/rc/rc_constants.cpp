#include "tools/rc/rc_constants.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace qb::rc {
namespace {

struct Constant {
    std::string_view name;
    uint32_t value;
};

// Values as the Win32 headers (winuser.h, commctrl.h, winnt.h) define them.
constexpr Constant kConstants[] = {
    // Window styles
    {"WS_OVERLAPPED", 0x00000000u},
    {"WS_TILED", 0x00000000u},
    {"WS_POPUP", 0x80000000u},
    {"WS_CHILD", 0x40000000u},
    {"WS_CHILDWINDOW", 0x40000000u},
    {"WS_MINIMIZE", 0x20000000u},
    {"WS_ICONIC", 0x20000000u},
    {"WS_VISIBLE", 0x10000000u},
    {"WS_DISABLED", 0x08000000u},
    {"WS_CLIPSIBLINGS", 0x04000000u},
    {"WS_CLIPCHILDREN", 0x02000000u},
    {"WS_MAXIMIZE", 0x01000000u},
    {"WS_CAPTION", 0x00C00000u},
    {"WS_BORDER", 0x00800000u},
    {"WS_DLGFRAME", 0x00400000u},
    {"WS_VSCROLL", 0x00200000u},
    {"WS_HSCROLL", 0x00100000u},
    {"WS_SYSMENU", 0x00080000u},
    {"WS_THICKFRAME", 0x00040000u},
    {"WS_SIZEBOX", 0x00040000u},
    {"WS_GROUP", 0x00020000u},
    {"WS_TABSTOP", 0x00010000u},
    {"WS_MINIMIZEBOX", 0x00020000u},
    {"WS_MAXIMIZEBOX", 0x00010000u},
    {"WS_OVERLAPPEDWINDOW", 0x00CF0000u},
    {"WS_TILEDWINDOW", 0x00CF0000u},
    {"WS_POPUPWINDOW", 0x80880000u},
    // Extended window styles
    {"WS_EX_DLGMODALFRAME", 0x00000001u},
    {"WS_EX_NOPARENTNOTIFY", 0x00000004u},
    {"WS_EX_TOPMOST", 0x00000008u},
    {"WS_EX_ACCEPTFILES", 0x00000010u},
    {"WS_EX_TRANSPARENT", 0x00000020u},
    {"WS_EX_TOOLWINDOW", 0x00000080u},
    {"WS_EX_WINDOWEDGE", 0x00000100u},
    {"WS_EX_CLIENTEDGE", 0x00000200u},
    {"WS_EX_CONTEXTHELP", 0x00000400u},
    {"WS_EX_RIGHT", 0x00001000u},
    {"WS_EX_LEFT", 0x00000000u},
    {"WS_EX_RTLREADING", 0x00002000u},
    {"WS_EX_LTRREADING", 0x00000000u},
    {"WS_EX_LEFTSCROLLBAR", 0x00004000u},
    {"WS_EX_RIGHTSCROLLBAR", 0x00000000u},
    {"WS_EX_CONTROLPARENT", 0x00010000u},
    {"WS_EX_STATICEDGE", 0x00020000u},
    {"WS_EX_APPWINDOW", 0x00040000u},
    {"WS_EX_NOACTIVATE", 0x08000000u},
    // Dialog styles
    {"DS_ABSALIGN", 0x0001u},
    {"DS_SYSMODAL", 0x0002u},
    {"DS_3DLOOK", 0x0004u},
    {"DS_FIXEDSYS", 0x0008u},
    {"DS_NOFAILCREATE", 0x0010u},
    {"DS_LOCALEDIT", 0x0020u},
    {"DS_SETFONT", 0x0040u},
    {"DS_MODALFRAME", 0x0080u},
    {"DS_NOIDLEMSG", 0x0100u},
    {"DS_SETFOREGROUND", 0x0200u},
    {"DS_CONTROL", 0x0400u},
    {"DS_CENTER", 0x0800u},
    {"DS_CENTERMOUSE", 0x1000u},
    {"DS_CONTEXTHELP", 0x2000u},
    {"DS_SHELLFONT", 0x0048u},
    // Edit control styles
    {"ES_LEFT", 0x0000u},
    {"ES_CENTER", 0x0001u},
    {"ES_RIGHT", 0x0002u},
    {"ES_MULTILINE", 0x0004u},
    {"ES_UPPERCASE", 0x0008u},
    {"ES_LOWERCASE", 0x0010u},
    {"ES_PASSWORD", 0x0020u},
    {"ES_AUTOVSCROLL", 0x0040u},
    {"ES_AUTOHSCROLL", 0x0080u},
    {"ES_NOHIDESEL", 0x0100u},
    {"ES_OEMCONVERT", 0x0400u},
    {"ES_READONLY", 0x0800u},
    {"ES_WANTRETURN", 0x1000u},
    {"ES_NUMBER", 0x2000u},
    // Button styles
    {"BS_PUSHBUTTON", 0x0000u},
    {"BS_DEFPUSHBUTTON", 0x0001u},
    {"BS_CHECKBOX", 0x0002u},
    {"BS_AUTOCHECKBOX", 0x0003u},
    {"BS_RADIOBUTTON", 0x0004u},
    {"BS_3STATE", 0x0005u},
    {"BS_AUTO3STATE", 0x0006u},
    {"BS_GROUPBOX", 0x0007u},
    {"BS_USERBUTTON", 0x0008u},
    {"BS_AUTORADIOBUTTON", 0x0009u},
    {"BS_OWNERDRAW", 0x000Bu},
    {"BS_TYPEMASK", 0x000Fu},
    {"BS_LEFTTEXT", 0x0020u},
    {"BS_RIGHTBUTTON", 0x0020u},
    {"BS_TEXT", 0x0000u},
    {"BS_ICON", 0x0040u},
    {"BS_BITMAP", 0x0080u},
    {"BS_LEFT", 0x0100u},
    {"BS_RIGHT", 0x0200u},
    {"BS_CENTER", 0x0300u},
    {"BS_TOP", 0x0400u},
    {"BS_BOTTOM", 0x0800u},
    {"BS_VCENTER", 0x0C00u},
    {"BS_PUSHLIKE", 0x1000u},
    {"BS_MULTILINE", 0x2000u},
    {"BS_NOTIFY", 0x4000u},
    {"BS_FLAT", 0x8000u},
    // Static control styles
    {"SS_LEFT", 0x0000u},
    {"SS_CENTER", 0x0001u},
    {"SS_RIGHT", 0x0002u},
    {"SS_ICON", 0x0003u},
    {"SS_BLACKRECT", 0x0004u},
    {"SS_GRAYRECT", 0x0005u},
    {"SS_WHITERECT", 0x0006u},
    {"SS_BLACKFRAME", 0x0007u},
    {"SS_GRAYFRAME", 0x0008u},
    {"SS_WHITEFRAME", 0x0009u},
    {"SS_USERITEM", 0x000Au},
    {"SS_SIMPLE", 0x000Bu},
    {"SS_LEFTNOWORDWRAP", 0x000Cu},
    {"SS_OWNERDRAW", 0x000Du},
    {"SS_BITMAP", 0x000Eu},
    {"SS_ENHMETAFILE", 0x000Fu},
    {"SS_ETCHEDHORZ", 0x0010u},
    {"SS_ETCHEDVERT", 0x0011u},
    {"SS_ETCHEDFRAME", 0x0012u},
    {"SS_TYPEMASK", 0x001Fu},
    {"SS_NOPREFIX", 0x0080u},
    {"SS_NOTIFY", 0x0100u},
    {"SS_CENTERIMAGE", 0x0200u},
    {"SS_RIGHTJUST", 0x0400u},
    {"SS_REALSIZEIMAGE", 0x0800u},
    {"SS_SUNKEN", 0x1000u},
    {"SS_ENDELLIPSIS", 0x4000u},
    {"SS_PATHELLIPSIS", 0x8000u},
    {"SS_WORDELLIPSIS", 0xC000u},
    // Combo box styles
    {"CBS_SIMPLE", 0x0001u},
    {"CBS_DROPDOWN", 0x0002u},
    {"CBS_DROPDOWNLIST", 0x0003u},
    {"CBS_OWNERDRAWFIXED", 0x0010u},
    {"CBS_OWNERDRAWVARIABLE", 0x0020u},
    {"CBS_AUTOHSCROLL", 0x0040u},
    {"CBS_OEMCONVERT", 0x0080u},
    {"CBS_SORT", 0x0100u},
    {"CBS_HASSTRINGS", 0x0200u},
    {"CBS_NOINTEGRALHEIGHT", 0x0400u},
    {"CBS_DISABLENOSCROLL", 0x0800u},
    {"CBS_UPPERCASE", 0x2000u},
    {"CBS_LOWERCASE", 0x4000u},
    // Tree view styles
    {"TVS_HASBUTTONS", 0x0001u},
    {"TVS_HASLINES", 0x0002u},
    {"TVS_LINESATROOT", 0x0004u},
    {"TVS_EDITLABELS", 0x0008u},
    {"TVS_DISABLEDRAGDROP", 0x0010u},
    {"TVS_SHOWSELALWAYS", 0x0020u},
    {"TVS_RTLREADING", 0x0040u},
    {"TVS_NOTOOLTIPS", 0x0080u},
    {"TVS_CHECKBOXES", 0x0100u},
    {"TVS_TRACKSELECT", 0x0200u},
    {"TVS_SINGLEEXPAND", 0x0400u},
    {"TVS_INFOTIP", 0x0800u},
    {"TVS_FULLROWSELECT", 0x1000u},
    {"TVS_NOSCROLL", 0x2000u},
    {"TVS_NONEVENHEIGHT", 0x4000u},
    {"TVS_NOHSCROLL", 0x8000u},
    // Progress bar styles
    {"PBS_SMOOTH", 0x0001u},
    {"PBS_VERTICAL", 0x0004u},
    {"PBS_MARQUEE", 0x0008u},
    // Languages (winnt.h)
    {"LANG_NEUTRAL", 0x00u},
    {"LANG_ENGLISH", 0x09u},
    {"LANG_JAPANESE", 0x11u},
    {"SUBLANG_NEUTRAL", 0x00u},
    {"SUBLANG_DEFAULT", 0x01u},
    {"SUBLANG_SYS_DEFAULT", 0x02u},
    {"SUBLANG_ENGLISH_US", 0x01u},
    {"SUBLANG_ENGLISH_UK", 0x02u},
    {"SUBLANG_JAPANESE_JAPAN", 0x01u},
    // Dialog command ids
    {"IDOK", 1u},
    {"IDCANCEL", 2u},
    {"IDABORT", 3u},
    {"IDRETRY", 4u},
    {"IDIGNORE", 5u},
    {"IDYES", 6u},
    {"IDNO", 7u},
    {"IDCLOSE", 8u},
    {"IDHELP", 9u},
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

bool lookupConstant(std::string_view name, uint32_t* value) {
    auto it = std::find_if(std::begin(kConstants), std::end(kConstants),
                           [&](const Constant& c) { return c.name == name; });
    if (it == std::end(kConstants)) return false;
    *value = it->value;
    return true;
}

uint16_t classAtom(std::string_view className) {
    struct Atom {
        std::string_view name;
        uint16_t atom;
    };
    static constexpr Atom kAtoms[] = {
        {"Button", kAtomButton},   {"Edit", kAtomEdit},           {"Static", kAtomStatic},
        {"ListBox", kAtomListBox}, {"ScrollBar", kAtomScrollBar}, {"ComboBox", kAtomComboBox},
    };
    for (const Atom& a : kAtoms)
        if (equalsIgnoringCase(a.name, className)) return a.atom;
    return 0;
}

} // namespace qb::rc
