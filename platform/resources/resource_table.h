// The program's resource table: the entries that tools/rc compiles from the resource
// script, registered at static initialisation by the generated source (the library
// qb_resources), and the choice among the languages of one resource.
//
// A test or tool may register its own table the same way:
//     const qb::resources::ResourceEntry kTable[] = {{5, 101, 0x0411, bytes, sizeof bytes}};
//     const qb::resources::ResourceTableRegistration kRegistration(kTable, 1);
#pragma once

#include <cstddef>

#include "win/types.h"

namespace qb::resources {

struct ResourceEntry {
    WORD type; // RT_DIALOG 5, RT_MENU 4, RT_ICON 3, RT_GROUP_ICON 14, RT_BITMAP 2 ...
    WORD id;
    WORD language; // MAKELANGID(primary, sub); 0 for language-neutral
    const BYTE* bytes;
    DWORD size;
};

// The table and its bytes must live as long as the process (static data). Registering the
// same table again changes nothing. False when the (generous) number of tables is reached.
bool RegisterResourceTable(const ResourceEntry* entries, size_t count);
// Takes a table out again (tests that register tables of their own).
void UnregisterResourceTable(const ResourceEntry* entries);

struct ResourceTableRegistration {
    ResourceTableRegistration(const ResourceEntry* entries, size_t count) {
        RegisterResourceTable(entries, count);
    }
};

// Result of a look-up: the entry, or the Win32 error explaining why there is none.
struct ResourceLookup {
    const ResourceEntry* entry = nullptr;
    DWORD error = 0;
};

// preferred: the language asked for. exactOnly: only that language (FindResourceExW);
// otherwise the same language, the same primary language, language-neutral, English, any.
ResourceLookup FindResourceEntry(WORD type, WORD id, WORD preferred, bool exactOnly);

// Whether the pointer is an entry of a registered table (handles from callers are checked
// before use).
bool IsResourceEntry(const void* entry);

} // namespace qb::resources
