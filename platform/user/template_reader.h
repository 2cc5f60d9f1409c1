// Reads the fields of a resource template (dialog or menu) in order, each checked against
// the size given: a read past the end, or a text longer than the bound, gives false and
// never touches memory beyond the template.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

namespace qb::user {

class TemplateReader {
public:
    // maxStringUnits: the longest zero-terminated text accepted, terminator not counted.
    TemplateReader(const BYTE* bytes, size_t size, size_t maxStringUnits)
        : bytes_(bytes), size_(size), maxStringUnits_(maxStringUnits) {}

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
            if (out->size() >= maxStringUnits_) return false;
            out->push_back(static_cast<char16_t>(unit));
        }
    }

    bool Bytes(std::vector<BYTE>* out, size_t count) {
        if (count > size_ - offset_) return false;
        out->assign(bytes_ + offset_, bytes_ + offset_ + count);
        offset_ += count;
        return true;
    }

    bool Skip(size_t count) {
        if (count > size_ - offset_) return false;
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
    size_t maxStringUnits_;
    size_t offset_ = 0;
};

} // namespace qb::user
