#include "platform/user/dialog_template.h"

#include <cstring>

namespace qb::user {

namespace {

constexpr WORD kExtendedVersion = 1;
constexpr WORD kExtendedSignature = 0xFFFF;
constexpr WORD kOrdinalMark = 0xFFFF;
constexpr size_t kMaxTemplateString = 4096; // units of one name or title

class Reader {
public:
    Reader(const BYTE* bytes, size_t size) : bytes_(bytes), size_(size) {}

    bool Word(WORD* out) { return Raw(out, sizeof *out); }
    bool Dword(DWORD* out) { return Raw(out, sizeof *out); }
    bool Short(short* out) { return Raw(out, sizeof *out); }
    bool Byte(BYTE* out) { return Raw(out, sizeof *out); }

    bool String(std::u16string* out) {
        out->clear();
        for (;;) {
            WORD unit = 0;
            if (!Word(&unit)) return false;
            if (unit == 0) return true;
            if (out->size() >= kMaxTemplateString) return false;
            out->push_back(static_cast<char16_t>(unit));
        }
    }

    bool NameOrOrd(NameOrOrdinal* out) {
        WORD first = 0;
        if (!Word(&first)) return false;
        *out = NameOrOrdinal{};
        if (first == 0) return true;
        if (first == kOrdinalMark) {
            out->isOrdinal = true;
            return Word(&out->ordinal);
        }
        out->name.push_back(static_cast<char16_t>(first));
        std::u16string rest;
        if (!String(&rest)) return false;
        out->name += rest;
        return out->name.size() <= kMaxTemplateString;
    }

    bool Bytes(std::vector<BYTE>* out, size_t count) {
        if (count > size_ - offset_) return false;
        out->assign(bytes_ + offset_, bytes_ + offset_ + count);
        offset_ += count;
        return true;
    }

    // Items start on DWORD boundaries counted from the template's start.
    bool AlignDword() {
        size_t aligned = (offset_ + 3) & ~static_cast<size_t>(3);
        if (aligned > size_) return false;
        offset_ = aligned;
        return true;
    }

private:
    bool Raw(void* out, size_t n) {
        if (n > size_ - offset_) return false;
        std::memcpy(out, bytes_ + offset_, n);
        offset_ += n;
        return true;
    }

    const BYTE* bytes_;
    size_t size_;
    size_t offset_ = 0;
};

bool HasFont(DWORD style) {
    return (style & DS_SETFONT) != 0;
}

bool ParseItems(Reader& in, bool extended, WORD count, DialogTemplate* out) {
    if (count > kMaxDialogItems) return false;
    for (WORD i = 0; i < count; ++i) {
        DialogItem item;
        if (!in.AlignDword()) return false;
        if (extended) {
            if (!in.Dword(&item.helpId) || !in.Dword(&item.exStyle) || !in.Dword(&item.style))
                return false;
        } else {
            if (!in.Dword(&item.style) || !in.Dword(&item.exStyle)) return false;
        }
        if (!in.Short(&item.x) || !in.Short(&item.y) || !in.Short(&item.cx) || !in.Short(&item.cy))
            return false;
        if (extended) {
            if (!in.Dword(&item.id)) return false;
        } else {
            WORD id = 0;
            if (!in.Word(&id)) return false;
            item.id = id;
        }
        if (!in.NameOrOrd(&item.windowClass) || !in.NameOrOrd(&item.title)) return false;
        WORD extra = 0;
        if (!in.Word(&extra)) return false;
        if (extra != 0) {
            // DLGTEMPLATEEX counts the bytes that follow; DLGITEMTEMPLATE's count includes
            // its own WORD.
            size_t bytes = extended ? extra : (extra >= sizeof(WORD) ? extra - sizeof(WORD) : 0);
            if (!in.Bytes(&item.creationData, bytes)) return false;
        }
        out->items.push_back(std::move(item));
    }
    return true;
}

} // namespace

bool ParseDialogTemplate(const void* bytes, size_t size, DialogTemplate* out) {
    if (bytes == nullptr || out == nullptr) return false;
    *out = DialogTemplate{};
    Reader in(static_cast<const BYTE*>(bytes), size);
    WORD first = 0;
    WORD second = 0;
    WORD count = 0;
    {
        Reader peek(static_cast<const BYTE*>(bytes), size);
        if (!peek.Word(&first) || !peek.Word(&second)) return false;
    }
    out->extended = first == kExtendedVersion && second == kExtendedSignature;
    if (out->extended) {
        WORD version = 0;
        WORD signature = 0;
        if (!in.Word(&version) || !in.Word(&signature) || !in.Dword(&out->helpId) ||
            !in.Dword(&out->exStyle) || !in.Dword(&out->style))
            return false;
    } else {
        if (!in.Dword(&out->style) || !in.Dword(&out->exStyle)) return false;
    }
    if (!in.Word(&count) || !in.Short(&out->x) || !in.Short(&out->y) || !in.Short(&out->cx) ||
        !in.Short(&out->cy))
        return false;
    if (!in.NameOrOrd(&out->menu) || !in.NameOrOrd(&out->windowClass) || !in.String(&out->title))
        return false;
    if (HasFont(out->style)) {
        if (!in.Word(&out->pointSize)) return false;
        if (out->extended) {
            if (!in.Word(&out->weight) || !in.Byte(&out->italic) || !in.Byte(&out->charset))
                return false;
        }
        if (!in.String(&out->typeface)) return false;
    }
    return ParseItems(in, out->extended, count, out);
}

} // namespace qb::user
