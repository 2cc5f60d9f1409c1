#include "template_reader.h"

namespace templates {
namespace {

constexpr uint16_t kSetFont = 0x40;
constexpr uint16_t kMfPopup = 0x10;
constexpr uint16_t kMfEnd = 0x80;
constexpr int kMaxMenuDepth = 16;

class Reader {
public:
    Reader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

    bool u8(uint8_t* v) {
        if (pos_ + 1 > size_) return false;
        *v = bytes_[pos_++];
        return true;
    }
    bool u16(uint16_t* v) {
        if (pos_ + 2 > size_) return false;
        *v = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    bool s16(int16_t* v) {
        uint16_t u;
        if (!u16(&u)) return false;
        *v = static_cast<int16_t>(u);
        return true;
    }
    bool u32(uint32_t* v) {
        uint16_t lo, hi;
        if (!u16(&lo) || !u16(&hi)) return false;
        *v = lo | (static_cast<uint32_t>(hi) << 16);
        return true;
    }
    bool text(std::u16string* s) {
        s->clear();
        while (true) {
            uint16_t c;
            if (!u16(&c)) return false;
            if (c == 0) return true;
            s->push_back(static_cast<char16_t>(c));
        }
    }
    bool nameOrOrdinal(NameOrOrdinal* n) {
        if (pos_ + 2 > size_) return false;
        if (bytes_[pos_] == 0xFF && bytes_[pos_ + 1] == 0xFF) {
            pos_ += 2;
            n->isOrdinal = true;
            return u16(&n->ordinal);
        }
        return text(&n->text);
    }
    void alignTo4() { pos_ = (pos_ + 3) & ~size_t{3}; }
    bool skip(size_t n) {
        if (pos_ + n > size_) return false;
        pos_ += n;
        return true;
    }
    size_t position() const { return pos_; }
    bool atEnd() const { return pos_ == size_; }

private:
    const uint8_t* bytes_;
    size_t size_;
    size_t pos_ = 0;
};

bool menuItems(Reader* r, std::vector<MenuItem>* items, int depth) {
    if (depth > kMaxMenuDepth) return false;
    while (true) {
        MenuItem item;
        if (!r->u16(&item.flags)) return false;
        if (!(item.flags & kMfPopup) && !r->u16(&item.id)) return false;
        if (!r->text(&item.text)) return false;
        if ((item.flags & kMfPopup) && !menuItems(r, &item.children, depth + 1)) return false;
        bool last = item.flags & kMfEnd;
        items->push_back(std::move(item));
        if (last) return true;
    }
}

} // namespace

bool readDialog(const uint8_t* bytes, size_t size, Dialog* d) {
    Reader r(bytes, size);
    uint16_t count;
    if (!r.u16(&d->version) || !r.u16(&d->signature) || !r.u32(&d->helpId) || !r.u32(&d->exStyle) ||
        !r.u32(&d->style) || !r.u16(&count) || !r.s16(&d->x) || !r.s16(&d->y) || !r.s16(&d->cx) ||
        !r.s16(&d->cy) || !r.nameOrOrdinal(&d->menu) || !r.nameOrOrdinal(&d->windowClass) ||
        !r.text(&d->title))
        return false;
    if (d->style & kSetFont) {
        if (!r.u16(&d->pointSize) || !r.u16(&d->weight) || !r.u8(&d->italic) ||
            !r.u8(&d->charset) || !r.text(&d->typeface))
            return false;
    }
    for (uint16_t i = 0; i < count; ++i) {
        r.alignTo4();
        Control c;
        c.offset = r.position();
        if (!r.u32(&c.helpId) || !r.u32(&c.exStyle) || !r.u32(&c.style) || !r.s16(&c.x) ||
            !r.s16(&c.y) || !r.s16(&c.cx) || !r.s16(&c.cy) || !r.u32(&c.id) ||
            !r.nameOrOrdinal(&c.windowClass) || !r.nameOrOrdinal(&c.title) ||
            !r.u16(&c.extraCount) || !r.skip(c.extraCount))
            return false;
        d->controls.push_back(std::move(c));
    }
    return r.atEnd();
}

bool readMenu(const uint8_t* bytes, size_t size, std::vector<MenuItem>* items) {
    Reader r(bytes, size);
    uint16_t version, offset;
    if (!r.u16(&version) || !r.u16(&offset) || version != 0 || !r.skip(offset)) return false;
    return menuItems(&r, items, 0) && r.atEnd();
}

} // namespace templates
