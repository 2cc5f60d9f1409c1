#include "app/CommandLine.h"

#include "base/Results.h"
#include "http/PropertyList.h"
#include "transport/Allocator.h"

namespace {

constexpr WCHAR kItemSeparator = TEXT('&');
constexpr WCHAR kValueSeparator = TEXT('=');
constexpr WCHAR kLeadingSpace = TEXT(' ');

// Copies units from *cursor into buffer until one of the stops (or the end), terminated.
// Returns false when more than longest units stand before the stop; *cursor is left at it.
bool CopyUntil(LPCWSTR* cursor, WCHAR stopA, WCHAR stopB, WCHAR* buffer, DWORD longest) {
    DWORD length = 0;
    LPCWSTR unit = *cursor;
    while (*unit != 0 && *unit != stopA && *unit != stopB) {
        if (length == longest) return false;
        buffer[length++] = *unit++;
    }
    buffer[length] = 0;
    *cursor = unit;
    return true;
}

int Parse(LPCWSTR cursor, PropertyList* parameters, WCHAR* key, WCHAR* value) {
    while (*cursor == kLeadingSpace) ++cursor;
    for (;;) {
        if (!CopyUntil(&cursor, kValueSeparator, kItemSeparator, key, kLongestKey)) {
            return kResultFail;
        }
        value[0] = 0;
        if (*cursor == kValueSeparator) {
            ++cursor;
            // The item separator is the only stop: a raw "=" stays part of the value.
            if (!CopyUntil(&cursor, kItemSeparator, kItemSeparator, value, kLongestValue)) {
                return kResultFail;
            }
        }
        if (value[0] != 0) {
            parameters->SetWide(key, value);
        } else {
            parameters->SetEmpty(key);
        }
        if (*cursor != kItemSeparator) return kResultOk;
        ++cursor;
    }
}

} // namespace

static_assert(kLongestKey < kKeyBufferCapacity && kLongestValue < kValueBufferCapacity);

int ParseCommandLine(LPCWSTR commandLine, PropertyList* parameters) {
    if (commandLine == nullptr || parameters == nullptr) return kResultFail;
    HeapAllocator heap;
    void* key = nullptr;
    void* value = nullptr;
    int result = kResultNoMemory;
    if (heap.Allocate(&key, kKeyBufferCapacity * sizeof(WCHAR)) == kResultOk &&
        heap.Allocate(&value, kValueBufferCapacity * sizeof(WCHAR)) == kResultOk) {
        result =
            Parse(commandLine, parameters, static_cast<WCHAR*>(key), static_cast<WCHAR*>(value));
    }
    if (key != nullptr) heap.Free(key);
    if (value != nullptr) heap.Free(value);
    return result;
}
