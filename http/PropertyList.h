// PropertyList: a keyed store of up to 512 typed values, kept in the order in which their
// keys were first added. Keys are wide texts compared exactly (case included), or without
// regard to ASCII letter case in a store made for names that have no case (HTTP's header
// names); an entry keeps the key as it was first set. Numbers given
// to SetUnsigned / SetSigned are stored as decimal wide text; text is parsed when a number
// is asked for; wide and narrow text convert into each other on request, and the entry then
// keeps the converted form.
//
// Every block comes from the Allocator given at construction (or an owned heap allocator).
// A failed allocation makes the operation fail with -2 and leaves the store as it was.
#pragma once

#include <windows.h>

#include "transport/Allocator.h"

constexpr DWORD kPropertyCapacity = 512; // entries

// How a store compares its keys.
enum class PropertyKeys {
    kExact,   // unit by unit
    kAnyCase, // ASCII letters without regard to case
};

// Value type codes.
constexpr DWORD kPropertyEmpty = 0;    // the key exists without a value
constexpr DWORD kPropertyUnsigned = 1; // 32-bit, in unsignedValue (records only)
constexpr DWORD kPropertySigned = 2;   // 32-bit, in signedValue (records only)
constexpr DWORD kPropertyWide = 3;     // UTF-16 text, wideText
constexpr DWORD kPropertyNarrow = 4;   // text in the default ANSI code page, narrowText
constexpr DWORD kPropertyDouble = 5;   // doubleCell points at the number

// Results of the setters besides the failures.
constexpr int kPropertyAppended = 3; // a new entry was added at the end
constexpr int kPropertyReplaced = 5; // an existing entry got the new value, in its place

// The caller's view of one entry. Texts and the cell returned by a get point into the store
// and stay valid until that entry is set again or converted, or the store is cleared.
struct PropertyRecord {
    LPCWSTR key;
    DWORD type;
    union {
        DWORD unsignedValue;
        LONG signedValue;
        LPCWSTR wideText;
        LPCSTR narrowText;
        const double* doubleCell;
    };
};

class PropertyList {
public:
    // Takes the entry table from allocator (null: an owned heap allocator). Without a table
    // the store answers every operation with -1 or -2.
    explicit PropertyList(Allocator* allocator, PropertyKeys keys = PropertyKeys::kExact);
    ~PropertyList();
    PropertyList(const PropertyList&) = delete;
    PropertyList& operator=(const PropertyList&) = delete;

    // Entries in use, 0 to 512; -1 when the entry table could not be obtained.
    LONG Count() const { return count_; }

    // Releases every entry. 1; -1 an entry was empty (set with SetEmpty) or of an unknown
    // type, cleared all the same; -2 without allocator or entry table.
    int Clear();

    // *index = the entry's index, or -1 when absent. 0; -1 no entry table; -4 null index.
    int Find(LPCWSTR key, LONG* index) const;

    // Setters: 3 appended (kPropertyAppended); 5 replaced in place (kPropertyReplaced);
    // -4 null key or text; -2 no memory; -1 no entry table; -99 the store holds 512 entries
    // and the key is new.
    int SetEmpty(LPCWSTR key);
    int SetUnsigned(LPCWSTR key, DWORD value); // stored as the text "%u"
    int SetSigned(LPCWSTR key, LONG value);    // stored as the text "%i"
    int SetWide(LPCWSTR key, LPCWSTR text);
    int SetNarrow(LPCWSTR key, LPCSTR text);
    int SetDouble(LPCWSTR key, double value);
    // Dispatches types 0 to 4 to the setters above. -4 null record; -1 null key, or null
    // text for types 3 and 4; -99 any other type.
    int Set(const PropertyRecord* record);

    // Fills record->type and the value in the wanted form record->type:
    //   wide text  -> unsigned: parsed unsigned, else signed; signed: parsed signed;
    //                 narrow: converted (the entry becomes narrow).
    //   narrow     -> wide: converted (the entry becomes wide).
    //   double     -> unsigned / signed: truncated toward zero, modulo 2^32 (magnitudes from
    //                 2^63 on, and NaN, are not convertible); double: the cell.
    // A text that does not parse as the wanted number comes back as wide text (type 3) with
    // result 1: the caller checks the type. Results: 1; -10 key absent; -100 not convertible
    // (empty entries, wanted type 0, other pairs); -2 no memory for a conversion; -4 null
    // record; -1 null key or no entry table. On failure type and value are 0.
    int Get(PropertyRecord* record);
    // 1 and the number; -10 absent; -100 not a number; -4 null value; -1 no entry table.
    int GetUnsigned(LPCWSTR key, DWORD* value);
    int GetSigned(LPCWSTR key, LONG* value);
    // As Get for the entry at index, also filling record->key. Enumerate 0, 1, 2, ... up to
    // the first result that is not 1. -10 index above 511; -100 entry not in use; -2 no
    // entry table; -4 null record. On failure key, type and value are cleared.
    int GetAt(DWORD index, PropertyRecord* record);

private:
    struct Entry {
        WCHAR* key;
        DWORD type;
        void* text;   // owned text of types 3 and 4
        double* cell; // owned number of type 5
    };

    int Prepare(LPCWSTR key, LONG* index) const;
    int Commit(LPCWSTR key, LONG index, DWORD type, void* text, double* cell);
    int SetText(LPCWSTR key, DWORD type, const void* text, DWORD length, DWORD unitSize);
    int Convert(Entry* entry, PropertyRecord* record);
    int ConvertToNarrow(Entry* entry);
    int ConvertToWide(Entry* entry);
    void ReleaseValue(Entry* entry);
    void* Allocate(size_t size);

    Allocator* allocator_;
    PropertyKeys keys_;
    HeapAllocator* ownedAllocator_ = nullptr;
    LONG count_ = -1;
    Entry* entries_ = nullptr;
};
