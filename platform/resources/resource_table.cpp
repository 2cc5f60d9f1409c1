#include "platform/resources/resource_table.h"

#include <mutex>

#include "win/errors.h"
#include "win/resource.h"

namespace qb::resources {
namespace {

constexpr size_t kMaxTables = 32;

struct Table {
    const ResourceEntry* entries = nullptr;
    size_t count = 0;
};

// Constant-initialised, so generated sources may register before main in any order.
struct Registry {
    std::mutex lock;
    Table tables[kMaxTables];
    size_t used = 0;
};
constinit Registry gRegistry;

// Ranks a candidate's language against the one asked for; lower is better.
int LanguageRank(WORD candidate, WORD preferred) {
    if (candidate == preferred) return 0;
    if (PRIMARYLANGID(candidate) == PRIMARYLANGID(preferred)) return 1;
    if (PRIMARYLANGID(candidate) == LANG_NEUTRAL) return 2;
    if (PRIMARYLANGID(candidate) == LANG_ENGLISH) return 3;
    return 4;
}

} // namespace

bool RegisterResourceTable(const ResourceEntry* entries, size_t count) {
    if (!entries) return false;
    std::lock_guard<std::mutex> guard(gRegistry.lock);
    for (size_t i = 0; i < gRegistry.used; ++i)
        if (gRegistry.tables[i].entries == entries) return true;
    if (gRegistry.used == kMaxTables) return false;
    gRegistry.tables[gRegistry.used++] = {entries, count};
    return true;
}

void UnregisterResourceTable(const ResourceEntry* entries) {
    std::lock_guard<std::mutex> guard(gRegistry.lock);
    for (size_t i = 0; i < gRegistry.used; ++i) {
        if (gRegistry.tables[i].entries != entries) continue;
        for (size_t k = i + 1; k < gRegistry.used; ++k)
            gRegistry.tables[k - 1] = gRegistry.tables[k];
        --gRegistry.used;
        return;
    }
}

ResourceLookup FindResourceEntry(WORD type, WORD id, WORD preferred, bool exactOnly) {
    std::lock_guard<std::mutex> guard(gRegistry.lock);
    ResourceLookup result;
    bool typeSeen = false, idSeen = false;
    int bestRank = 5;
    for (size_t t = 0; t < gRegistry.used; ++t) {
        const Table& table = gRegistry.tables[t];
        for (size_t i = 0; i < table.count; ++i) {
            const ResourceEntry& e = table.entries[i];
            if (e.type != type) continue;
            typeSeen = true;
            if (e.id != id) continue;
            idSeen = true;
            int rank = LanguageRank(e.language, preferred);
            if (exactOnly && rank != 0) continue;
            if (rank < bestRank) {
                bestRank = rank;
                result.entry = &e;
            }
        }
    }
    if (!result.entry)
        result.error = !typeSeen ? ERROR_RESOURCE_TYPE_NOT_FOUND
                       : !idSeen ? ERROR_RESOURCE_NAME_NOT_FOUND
                                 : ERROR_RESOURCE_LANG_NOT_FOUND;
    return result;
}

bool IsResourceEntry(const void* entry) {
    std::lock_guard<std::mutex> guard(gRegistry.lock);
    for (size_t t = 0; t < gRegistry.used; ++t) {
        const Table& table = gRegistry.tables[t];
        for (size_t i = 0; i < table.count; ++i)
            if (&table.entries[i] == entry) return true;
    }
    return false;
}

} // namespace qb::resources
