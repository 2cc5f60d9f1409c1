#include "platform/user/dialog_template.h"

#include "platform/user/template_reader.h"

namespace qb::user {

namespace {

constexpr WORD kExtendedVersion = 1;
constexpr WORD kExtendedSignature = 0xFFFF;
constexpr WORD kOrdinalMark = 0xFFFF;
constexpr size_t kMaxTemplateString = 4096; // units of one name or title

// A class name, title or menu: 0 (none), 0xFFFF and an ordinal, or a zero-terminated name.
bool ReadNameOrOrdinal(TemplateReader& in, NameOrOrdinal* out) {
    WORD first = 0;
    if (!in.Word(&first)) return false;
    *out = NameOrOrdinal{};
    if (first == 0) return true;
    if (first == kOrdinalMark) {
        out->isOrdinal = true;
        return in.Word(&out->ordinal);
    }
    out->name.push_back(static_cast<char16_t>(first));
    std::u16string rest;
    if (!in.String(&rest)) return false;
    out->name += rest;
    return out->name.size() <= kMaxTemplateString;
}

bool HasFont(DWORD style) {
    return (style & DS_SETFONT) != 0;
}

bool ParseItems(TemplateReader& in, bool extended, WORD count, DialogTemplate* out) {
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
        if (!ReadNameOrOrdinal(in, &item.windowClass) || !ReadNameOrOrdinal(in, &item.title))
            return false;
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
    TemplateReader in(static_cast<const BYTE*>(bytes), size, kMaxTemplateString);
    WORD first = 0;
    WORD second = 0;
    WORD count = 0;
    {
        TemplateReader peek(static_cast<const BYTE*>(bytes), size, kMaxTemplateString);
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
    if (!ReadNameOrOrdinal(in, &out->menu) || !ReadNameOrOrdinal(in, &out->windowClass) ||
        !in.String(&out->title))
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
