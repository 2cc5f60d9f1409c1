#include "tools/rc/rc_encode.h"

#include "tools/rc/rc_constants.h"

namespace qb::rc {
namespace {

class Writer {
public:
    void u8(uint8_t v) { bytes_.push_back(v); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void text(const std::u16string& s) {
        for (char16_t c : s) u16(static_cast<uint16_t>(c));
        u16(0);
    }
    // sz_Or_Ord: 0xFFFF and the ordinal, or a zero-terminated text ("" is a lone 0).
    void nameOrOrdinal(const NameOrOrdinal& n) {
        if (n.isOrdinal) {
            u16(0xFFFF);
            u16(n.ordinal);
        } else {
            text(n.text);
        }
    }
    void alignTo4() {
        while (bytes_.size() % 4 != 0) u8(0);
    }
    void raw(std::string_view data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
    Bytes take() { return std::move(bytes_); }

private:
    Bytes bytes_;
};

uint16_t le16(std::string_view d, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(d[at]) |
                                 (static_cast<uint8_t>(d[at + 1]) << 8));
}
uint32_t le32(std::string_view d, size_t at) {
    return static_cast<uint32_t>(le16(d, at)) | (static_cast<uint32_t>(le16(d, at + 2)) << 16);
}

constexpr uint16_t kDialogExVersion = 1;
constexpr uint16_t kDialogExSignature = 0xFFFF;
constexpr size_t kIconDirSize = 6;
constexpr size_t kIconDirEntrySize = 16;
constexpr uint16_t kIconType = 1;
constexpr size_t kBitmapFileHeaderSize = 14;
constexpr size_t kBitmapInfoHeaderSize = 40;
constexpr uint16_t kBitmapMagic = 0x4D42; // "BM"

void menuItems(Writer* w, const std::vector<MenuItem>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        const MenuItem& item = items[i];
        uint16_t flags = item.flags;
        if (i + 1 == items.size()) flags |= kMfEnd;
        if (item.isPopup) {
            w->u16(flags | kMfPopup);
            w->text(item.text);
            menuItems(w, item.children);
        } else if (item.isSeparator) {
            // Id 0 and an empty text, as the Windows compiler writes it; MF_SEPARATOR
            // in addition so that a reader may test the flag alone.
            w->u16(flags | kMfSeparator);
            w->u16(0);
            w->text(u"");
        } else {
            w->u16(flags);
            w->u16(item.id);
            w->text(item.text);
        }
    }
}

} // namespace

Bytes encodeDialog(const Dialog& d) {
    Writer w;
    w.u16(kDialogExVersion);
    w.u16(kDialogExSignature);
    w.u32(d.helpId);
    w.u32(d.exStyle);
    w.u32(d.style);
    w.u16(static_cast<uint16_t>(d.controls.size()));
    w.u16(static_cast<uint16_t>(d.x));
    w.u16(static_cast<uint16_t>(d.y));
    w.u16(static_cast<uint16_t>(d.cx));
    w.u16(static_cast<uint16_t>(d.cy));
    w.u16(0); // no menu
    w.u16(0); // the predefined dialog class
    w.text(d.caption);
    if (d.style & kDsSetFont) {
        w.u16(d.pointSize);
        w.u16(d.weight);
        w.u8(d.italic);
        w.u8(d.charset);
        w.text(d.typeface);
    }
    for (const DialogControl& c : d.controls) {
        w.alignTo4();
        w.u32(c.helpId);
        w.u32(c.exStyle);
        w.u32(c.style);
        w.u16(static_cast<uint16_t>(c.x));
        w.u16(static_cast<uint16_t>(c.y));
        w.u16(static_cast<uint16_t>(c.cx));
        w.u16(static_cast<uint16_t>(c.cy));
        w.u32(c.id);
        w.nameOrOrdinal(c.windowClass);
        w.nameOrOrdinal(c.title);
        w.u16(0); // no creation data
    }
    return w.take();
}

Bytes encodeMenu(const Menu& menu) {
    Writer w;
    w.u16(0); // versionNumber
    w.u16(0); // offset
    menuItems(&w, menu.items);
    return w.take();
}

bool splitIconFile(std::string_view file, uint16_t firstId, IconSplit* out, std::string* error) {
    *out = IconSplit{};
    if (file.size() < kIconDirSize || le16(file, 0) != 0 || le16(file, 2) != kIconType) {
        *error = "not an icon file";
        return false;
    }
    uint16_t count = le16(file, 4);
    if (count == 0 || file.size() < kIconDirSize + count * kIconDirEntrySize) {
        *error = "icon file without images or with a cut-off directory";
        return false;
    }
    if (static_cast<uint32_t>(firstId) + count - 1 > 0xFFFF) {
        *error = "too many icon images";
        return false;
    }
    Writer group;
    group.u16(0);
    group.u16(kIconType);
    group.u16(count);
    for (uint16_t i = 0; i < count; ++i) {
        size_t e = kIconDirSize + i * kIconDirEntrySize;
        uint32_t size = le32(file, e + 8);
        uint32_t offset = le32(file, e + 12);
        if (size == 0 || offset > file.size() || size > file.size() - offset) {
            *error = "icon image " + std::to_string(i) + " lies outside the file";
            return false;
        }
        // GRPICONDIRENTRY: the ICONDIRENTRY fields with the image's resource id in place
        // of its file offset.
        for (size_t k = 0; k < 8; ++k) group.u8(static_cast<uint8_t>(file[e + k]));
        group.u32(size);
        group.u16(static_cast<uint16_t>(firstId + i));
        out->images.emplace_back(file.begin() + offset, file.begin() + offset + size);
    }
    out->group = group.take();
    return true;
}

bool bitmapFromFile(std::string_view file, Bytes* out, std::string* error) {
    if (file.size() < kBitmapFileHeaderSize + kBitmapInfoHeaderSize ||
        le16(file, 0) != kBitmapMagic) {
        *error = "not a bitmap file";
        return false;
    }
    uint32_t headerSize = le32(file, kBitmapFileHeaderSize);
    if (headerSize < kBitmapInfoHeaderSize || headerSize > file.size() - kBitmapFileHeaderSize) {
        *error = "bitmap file with an unsupported header";
        return false;
    }
    out->assign(file.begin() + kBitmapFileHeaderSize, file.end());
    return true;
}

} // namespace qb::rc
