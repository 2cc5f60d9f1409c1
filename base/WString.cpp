#include "base/WString.h"

#include <cstdlib>

#include "base/StringUtil.h"

namespace {

// The shared empty texts a fresh or cleared WString points at; never freed.
WCHAR sharedEmptyWide[1] = {0};
CHAR sharedEmptyNarrow[1] = {0};

template <typename Unit> Unit* AllocateUnits(int count) {
    if (count <= 0) return nullptr;
    return static_cast<Unit*>(std::calloc(static_cast<size_t>(count), sizeof(Unit)));
}

} // namespace

WString::WString() : wide_(sharedEmptyWide), reserved_(0), narrow_(sharedEmptyNarrow) {}

WString::~WString() {
    Clear();
}

void WString::Clear() {
    if (wide_ != nullptr && wide_ != sharedEmptyWide) std::free(wide_);
    wide_ = sharedEmptyWide;
    ReleaseNarrow();
    reserved_ = 0;
}

void WString::Wipe() {
    if (wide_ != sharedEmptyWide) {
        for (DWORD i = 0; wide_[i] != 0; ++i) static_cast<volatile WCHAR*>(wide_)[i] = 0;
    }
    if (narrow_ != sharedEmptyNarrow) {
        for (DWORD i = 0; narrow_[i] != 0; ++i) static_cast<volatile CHAR*>(narrow_)[i] = 0;
    }
    Clear();
}

void WString::ReleaseNarrow() {
    if (narrow_ != nullptr && narrow_ != sharedEmptyNarrow) std::free(narrow_);
    narrow_ = sharedEmptyNarrow;
}

void WString::AssignWide(LPCWSTR text) {
    Clear();
    DWORD length = 0;
    if (StrLength(text, &length) != 1 || length >= 0x7FFFFFFF) return;
    WCHAR* copy = AllocateUnits<WCHAR>(static_cast<int>(length) + 1);
    if (copy == nullptr) return;
    StrCopy(copy, length + 1, text);
    wide_ = copy;
}

void WString::AssignNarrow(LPCSTR text) {
    Clear();
    if (text == nullptr) return;
    const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 0 || needed == 0x7FFFFFFF) return;
    // One unit more than the conversion asks for, as a margin for the terminator.
    WCHAR* converted = AllocateUnits<WCHAR>(needed + 1);
    if (converted == nullptr) return;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, converted, needed + 1) <= 0) {
        std::free(converted);
        return;
    }
    wide_ = converted;
}

LPCSTR WString::GetNarrow() {
    ReleaseNarrow();
    const int needed = WideCharToMultiByte(CP_ACP, 0, wide_, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0 || needed == 0x7FFFFFFF) return narrow_;
    CHAR* converted = AllocateUnits<CHAR>(needed + 1);
    if (converted == nullptr) return narrow_;
    if (WideCharToMultiByte(CP_ACP, 0, wide_, -1, converted, needed + 1, nullptr, nullptr) <= 0) {
        std::free(converted);
        return narrow_;
    }
    narrow_ = converted;
    return narrow_;
}
