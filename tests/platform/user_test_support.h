// Helpers of the platform/user tests: dialog template bytes built as the resource compiler
// writes them, and a recorder of the messages a dialog procedure receives.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "qb/testhook.h"

namespace qb::usertest {

// Control class atoms of dialog templates.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kComboAtom = 0x0085;

struct ItemLayout {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    WORD atom = 0; // or className
    std::u16string className;
    std::u16string title;
    WORD titleOrdinal = 0; // a resource id instead of a title
    DWORD exStyle = 0;
};

// DLGTEMPLATEEX (or DLGTEMPLATE) bytes.
class DialogBytes {
public:
    DialogBytes(DWORD style, short x, short y, short cx, short cy, std::u16string title)
        : style_(style), x_(x), y_(y), cx_(cx), cy_(cy), title_(std::move(title)) {}

    DialogBytes& Item(const ItemLayout& item) {
        items_.push_back(item);
        return *this;
    }
    DialogBytes& Control(WORD atom, DWORD style, short x, short y, short cx, short cy, DWORD id,
                         std::u16string title) {
        ItemLayout item;
        item.atom = atom;
        item.style = WS_CHILD | WS_VISIBLE | style;
        item.x = x;
        item.y = y;
        item.cx = cx;
        item.cy = cy;
        item.id = id;
        item.title = std::move(title);
        return Item(item);
    }
    DialogBytes& Named(const std::u16string& cls, DWORD style, short x, short y, short cx, short cy,
                       DWORD id) {
        ItemLayout item;
        item.className = cls;
        item.style = WS_CHILD | WS_VISIBLE | style;
        item.x = x;
        item.y = y;
        item.cx = cx;
        item.cy = cy;
        item.id = id;
        return Item(item);
    }

    std::vector<BYTE> Build(bool extended = true) const {
        std::vector<BYTE> out;
        if (extended) {
            Word(out, 1);
            Word(out, 0xFFFF);
            Dword(out, 0); // help id
            Dword(out, 0); // ex style
            Dword(out, style_);
        } else {
            Dword(out, style_);
            Dword(out, 0);
        }
        Word(out, static_cast<WORD>(items_.size()));
        Word(out, static_cast<WORD>(x_));
        Word(out, static_cast<WORD>(y_));
        Word(out, static_cast<WORD>(cx_));
        Word(out, static_cast<WORD>(cy_));
        Word(out, 0); // menu
        Word(out, 0); // class
        String(out, title_);
        if (style_ & DS_SETFONT) {
            Word(out, 8);
            if (extended) {
                Word(out, 400);
                out.push_back(0);
                out.push_back(1);
            }
            String(out, u"Tahoma");
        }
        for (const ItemLayout& item : items_) {
            while (out.size() % 4) out.push_back(0);
            if (extended) {
                Dword(out, 0);
                Dword(out, item.exStyle);
                Dword(out, item.style);
            } else {
                Dword(out, item.style);
                Dword(out, item.exStyle);
            }
            Word(out, static_cast<WORD>(item.x));
            Word(out, static_cast<WORD>(item.y));
            Word(out, static_cast<WORD>(item.cx));
            Word(out, static_cast<WORD>(item.cy));
            if (extended)
                Dword(out, item.id);
            else
                Word(out, static_cast<WORD>(item.id));
            if (item.className.empty()) {
                Word(out, 0xFFFF);
                Word(out, item.atom);
            } else {
                String(out, item.className);
            }
            if (item.titleOrdinal != 0) {
                Word(out, 0xFFFF);
                Word(out, item.titleOrdinal);
            } else {
                String(out, item.title);
            }
            Word(out, 0); // no creation data
        }
        return out;
    }

private:
    static void Word(std::vector<BYTE>& out, WORD w) {
        out.push_back(static_cast<BYTE>(w & 0xFF));
        out.push_back(static_cast<BYTE>(w >> 8));
    }
    static void Dword(std::vector<BYTE>& out, DWORD d) {
        Word(out, static_cast<WORD>(d & 0xFFFF));
        Word(out, static_cast<WORD>(d >> 16));
    }
    static void String(std::vector<BYTE>& out, const std::u16string& s) {
        for (char16_t c : s) Word(out, c);
        Word(out, 0);
    }

    DWORD style_;
    short x_, y_, cx_, cy_;
    std::u16string title_;
    std::vector<ItemLayout> items_;
};

inline const DLGTEMPLATE* AsTemplate(const std::vector<BYTE>& bytes) {
    return reinterpret_cast<const DLGTEMPLATE*>(bytes.data());
}

// Messages a dialog procedure received, as names where the test cares about them.
struct Recorded {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

inline std::vector<Recorded>& Log() {
    static std::vector<Recorded> log;
    return log;
}

inline std::u16string TextOf(HWND hwnd) {
    WCHAR buffer[512];
    GetWindowTextW(hwnd, buffer, 512);
    return buffer;
}

inline std::u16string ItemText(HWND dialog, int id) {
    WCHAR buffer[512];
    GetDlgItemTextW(dialog, id, buffer, 512);
    return buffer;
}

inline bool HasAttr(const qb::render::Screen& grid, int column, int row, uint16_t attr) {
    return (grid.At(column, row).attr & attr) != 0;
}

// Destroys every window handle given at the end of a test.
struct WindowGuard {
    HWND hwnd;
    explicit WindowGuard(HWND h) : hwnd(h) {}
    ~WindowGuard() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        qb::test::Pump();
    }
};

} // namespace qb::usertest
