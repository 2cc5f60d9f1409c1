#include "http/PropertyList.h"

#include <cstdint>
#include <new>

#include "base/Bytes.h"
#include "base/Decimal.h"
#include "base/Results.h"
#include "base/StringUtil.h"

namespace {

constexpr DWORD kNumberTextCapacity = 32; // units for a formatted 32-bit number

// Double to 32 bits, truncated toward zero and wrapped modulo 2^32. False for NaN and for
// magnitudes from 2^63 on, which have no exact 64-bit integer to wrap.
bool TruncateTo32Bits(double number, DWORD* value) {
    constexpr double kLimit = 9223372036854775808.0; // 2^63
    if (!(number > -kLimit && number < kLimit)) return false;
    *value = static_cast<DWORD>(static_cast<uint64_t>(static_cast<int64_t>(number)));
    return true;
}

void ClearValue(PropertyRecord* record) {
    record->type = kPropertyEmpty;
    record->wideText = nullptr;
}

} // namespace

PropertyList::PropertyList(Allocator* allocator, PropertyKeys keys)
    : allocator_(allocator), keys_(keys) {
    if (allocator_ == nullptr) {
        ownedAllocator_ = new (std::nothrow) HeapAllocator;
        allocator_ = ownedAllocator_;
    }
    entries_ = static_cast<Entry*>(Allocate(sizeof(Entry) * kPropertyCapacity));
    if (entries_ != nullptr) {
        BytesFill(entries_, 0, sizeof(Entry) * kPropertyCapacity);
        count_ = 0;
    }
}

PropertyList::~PropertyList() {
    Clear();
    if (entries_ != nullptr) allocator_->Free(entries_);
    delete ownedAllocator_;
}

void* PropertyList::Allocate(size_t size) {
    if (allocator_ == nullptr) return nullptr;
    void* block = nullptr;
    if (allocator_->Allocate(&block, size) <= 0) return nullptr;
    return block;
}

void PropertyList::ReleaseValue(Entry* entry) {
    if (entry->text != nullptr) allocator_->Free(entry->text);
    if (entry->cell != nullptr) allocator_->Free(entry->cell);
    entry->text = nullptr;
    entry->cell = nullptr;
}

int PropertyList::Clear() {
    if (allocator_ == nullptr || entries_ == nullptr) return kResultNoMemory;
    int result = kResultOk;
    for (LONG i = 0; i < count_; ++i) {
        Entry* entry = &entries_[i];
        if (entry->type == kPropertyEmpty || entry->type > kPropertyDouble) result = kResultFail;
        ReleaseValue(entry);
        if (entry->key != nullptr) allocator_->Free(entry->key);
        BytesFill(entry, 0, sizeof(Entry));
    }
    count_ = 0;
    return result;
}

int PropertyList::Find(LPCWSTR key, LONG* index) const {
    if (index == nullptr) return kResultNullArgument;
    *index = -1;
    if (entries_ == nullptr) return kResultFail;
    if (key == nullptr) return kResultNo;
    for (LONG i = 0; i < count_; ++i) {
        const int equal = keys_ == PropertyKeys::kAnyCase ? StrEqualNoCase(entries_[i].key, key)
                                                          : StrEqual(entries_[i].key, key);
        if (equal == kResultOk) {
            *index = i;
            break;
        }
    }
    return kResultNo;
}

// The checks every setter makes before it allocates anything: *index is the existing
// entry, or -1 for a new key that still has room.
int PropertyList::Prepare(LPCWSTR key, LONG* index) const {
    if (key == nullptr) return kResultNullArgument;
    if (allocator_ == nullptr) return kResultNoMemory;
    if (Find(key, index) < 0) return kResultFail;
    if (*index < 0 && count_ >= static_cast<LONG>(kPropertyCapacity)) return kResultFull;
    return kResultOk;
}

// Installs an already allocated value (text or cell, either may be null) under key. Only the
// key of a new entry is still to be allocated; if that fails the value is freed and nothing
// changes.
int PropertyList::Commit(LPCWSTR key, LONG index, DWORD type, void* text, double* cell) {
    if (index >= 0) {
        Entry* entry = &entries_[index];
        ReleaseValue(entry);
        entry->type = type;
        entry->text = text;
        entry->cell = cell;
        return kPropertyReplaced;
    }
    DWORD length = 0;
    StrLength(key, &length);
    WCHAR* keyCopy = static_cast<WCHAR*>(Allocate((static_cast<size_t>(length) + 1) * 2));
    if (keyCopy == nullptr) {
        if (text != nullptr) allocator_->Free(text);
        if (cell != nullptr) allocator_->Free(cell);
        return kResultNoMemory;
    }
    StrCopy(keyCopy, length + 1, key);
    entries_[count_] = Entry{keyCopy, type, text, cell};
    ++count_;
    return kPropertyAppended;
}

// Copies length units of unitSize bytes (plus the terminator) into a buffer of
// (length + 1) * 2 bytes, so that either form of the same text fits it.
int PropertyList::SetText(LPCWSTR key, DWORD type, const void* text, DWORD length, DWORD unitSize) {
    LONG index = -1;
    const int prepared = Prepare(key, &index);
    if (prepared < 0) return prepared;
    const size_t bytes = (static_cast<size_t>(length) + 1) * 2;
    void* copy = Allocate(bytes);
    if (copy == nullptr) return kResultNoMemory;
    BytesCopy(copy, text, length * unitSize); // the buffer is zero-filled: terminated
    return Commit(key, index, type, copy, nullptr);
}

int PropertyList::SetEmpty(LPCWSTR key) {
    LONG index = -1;
    const int prepared = Prepare(key, &index);
    if (prepared < 0) return prepared;
    return Commit(key, index, kPropertyEmpty, nullptr, nullptr);
}

int PropertyList::SetUnsigned(LPCWSTR key, DWORD value) {
    WCHAR text[kNumberTextCapacity];
    wsprintfW(text, TEXT("%u"), value);
    return SetWide(key, text);
}

int PropertyList::SetSigned(LPCWSTR key, LONG value) {
    WCHAR text[kNumberTextCapacity];
    wsprintfW(text, TEXT("%i"), value);
    return SetWide(key, text);
}

int PropertyList::SetWide(LPCWSTR key, LPCWSTR text) {
    if (key == nullptr || text == nullptr) return kResultNullArgument;
    DWORD length = 0;
    StrLength(text, &length);
    return SetText(key, kPropertyWide, text, length, sizeof(WCHAR));
}

int PropertyList::SetNarrow(LPCWSTR key, LPCSTR text) {
    if (key == nullptr || text == nullptr) return kResultNullArgument;
    DWORD length = 0;
    StrLength(text, &length);
    return SetText(key, kPropertyNarrow, text, length, sizeof(CHAR));
}

int PropertyList::SetDouble(LPCWSTR key, double value) {
    LONG index = -1;
    const int prepared = Prepare(key, &index);
    if (prepared < 0) return prepared;
    double* cell = static_cast<double*>(Allocate(sizeof(double)));
    if (cell == nullptr) return kResultNoMemory;
    *cell = value;
    return Commit(key, index, kPropertyDouble, nullptr, cell);
}

int PropertyList::Set(const PropertyRecord* record) {
    if (record == nullptr) return kResultNullArgument;
    if (record->key == nullptr) return kResultFail;
    switch (record->type) {
    case kPropertyEmpty:
        return SetEmpty(record->key);
    case kPropertyUnsigned:
        return SetUnsigned(record->key, record->unsignedValue);
    case kPropertySigned:
        return SetSigned(record->key, record->signedValue);
    case kPropertyWide:
        if (record->wideText == nullptr) return kResultFail;
        return SetWide(record->key, record->wideText);
    case kPropertyNarrow:
        if (record->narrowText == nullptr) return kResultFail;
        return SetNarrow(record->key, record->narrowText);
    default:
        return kResultFull;
    }
}

// The conversions get a new buffer of the size the code page needs (one UTF-16 unit can take
// several bytes), then release the old one; a failure leaves the entry as it was.
int PropertyList::ConvertToNarrow(Entry* entry) {
    const LPCWSTR wide = static_cast<LPCWSTR>(entry->text);
    const int needed = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return kResultNotConvertible;
    CHAR* narrow = static_cast<CHAR*>(Allocate(static_cast<size_t>(needed)));
    if (narrow == nullptr) return kResultNoMemory;
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, needed, nullptr, nullptr) <= 0) {
        allocator_->Free(narrow);
        return kResultNotConvertible;
    }
    allocator_->Free(entry->text);
    entry->text = narrow;
    entry->type = kPropertyNarrow;
    return kResultOk;
}

int PropertyList::ConvertToWide(Entry* entry) {
    const LPCSTR narrow = static_cast<LPCSTR>(entry->text);
    const int needed = MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0);
    if (needed <= 0) return kResultNotConvertible;
    WCHAR* wide = static_cast<WCHAR*>(Allocate(static_cast<size_t>(needed) * sizeof(WCHAR)));
    if (wide == nullptr) return kResultNoMemory;
    if (MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, needed) <= 0) {
        allocator_->Free(wide);
        return kResultNotConvertible;
    }
    allocator_->Free(entry->text);
    entry->text = wide;
    entry->type = kPropertyWide;
    return kResultOk;
}

int PropertyList::Convert(Entry* entry, PropertyRecord* record) {
    const DWORD wanted = record->type;
    ClearValue(record);
    int result = kResultNotConvertible;
    switch (entry->type) {
    case kPropertyWide: {
        const LPCWSTR text = static_cast<LPCWSTR>(entry->text);
        if (wanted == kPropertyUnsigned || wanted == kPropertySigned) {
            // A text that is no number comes back as the text itself.
            record->type = kPropertyWide;
            record->wideText = text;
            DWORD number = 0;
            if (wanted == kPropertyUnsigned && StrParseUnsigned(text, &number) > 0) {
                record->type = kPropertyUnsigned;
                record->unsignedValue = number;
                return kResultOk;
            }
            LONG signedNumber = 0;
            if (StrParseSigned(text, &signedNumber) > 0) {
                record->type = wanted;
                if (wanted == kPropertyUnsigned) {
                    record->unsignedValue = static_cast<DWORD>(signedNumber);
                } else {
                    record->signedValue = signedNumber;
                }
            }
            return kResultOk;
        }
        if (wanted == kPropertyWide) {
            record->type = kPropertyWide;
            record->wideText = text;
            return kResultOk;
        }
        if (wanted == kPropertyNarrow) result = ConvertToNarrow(entry);
        if (result == kResultOk) {
            record->type = kPropertyNarrow;
            record->narrowText = static_cast<LPCSTR>(entry->text);
        }
        return result;
    }
    // The mirror of the wide case: each text kind is converted to the other on demand.
    case kPropertyNarrow:
        if (wanted == kPropertyNarrow) {
            record->type = kPropertyNarrow;
            record->narrowText = static_cast<LPCSTR>(entry->text);
            return kResultOk;
        }
        if (wanted == kPropertyWide) result = ConvertToWide(entry);
        if (result == kResultOk) {
            record->type = kPropertyWide;
            record->wideText = static_cast<LPCWSTR>(entry->text);
        }
        return result;
    case kPropertyDouble:
        if (wanted == kPropertyDouble) {
            record->type = kPropertyDouble;
            record->doubleCell = entry->cell;
            return kResultOk;
        }
        if (wanted == kPropertyUnsigned || wanted == kPropertySigned) {
            DWORD number = 0;
            if (!TruncateTo32Bits(*entry->cell, &number)) return kResultNotConvertible;
            record->type = wanted;
            if (wanted == kPropertyUnsigned) {
                record->unsignedValue = number;
            } else {
                record->signedValue = static_cast<LONG>(number);
            }
            return kResultOk;
        }
        return kResultNotConvertible;
    default:
        return kResultNotConvertible;
    }
}

int PropertyList::Get(PropertyRecord* record) {
    if (record == nullptr) return kResultNullArgument;
    if (entries_ == nullptr) {
        ClearValue(record);
        return kResultFail;
    }
    if (record->key == nullptr) {
        ClearValue(record);
        return kResultFail;
    }
    LONG index = -1;
    Find(record->key, &index);
    if (index < 0) {
        ClearValue(record);
        return kResultAbsent;
    }
    return Convert(&entries_[index], record);
}

int PropertyList::GetUnsigned(LPCWSTR key, DWORD* value) {
    if (value == nullptr) return kResultNullArgument;
    PropertyRecord record{key, kPropertyUnsigned, {}};
    const int result = Get(&record);
    if (result != kResultOk) return result;
    if (record.type != kPropertyUnsigned) return kResultNotConvertible;
    *value = record.unsignedValue;
    return kResultOk;
}

int PropertyList::GetSigned(LPCWSTR key, LONG* value) {
    if (value == nullptr) return kResultNullArgument;
    PropertyRecord record{key, kPropertySigned, {}};
    const int result = Get(&record);
    if (result != kResultOk) return result;
    if (record.type != kPropertySigned) return kResultNotConvertible;
    *value = record.signedValue;
    return kResultOk;
}

int PropertyList::GetAt(DWORD index, PropertyRecord* record) {
    if (record == nullptr) return kResultNullArgument;
    if (index >= kPropertyCapacity) {
        record->key = nullptr;
        ClearValue(record);
        return kResultAbsent;
    }
    if (entries_ == nullptr) {
        record->key = nullptr;
        ClearValue(record);
        return kResultNoMemory;
    }
    if (static_cast<LONG>(index) >= count_) {
        record->key = nullptr;
        ClearValue(record);
        return kResultNotConvertible;
    }
    Entry* entry = &entries_[index];
    record->key = entry->key;
    const int result = Convert(entry, record);
    if (result != kResultOk) record->key = nullptr;
    return result;
}
