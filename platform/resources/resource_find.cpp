// FindResourceW, FindResourceExW, LoadResource, LockResource, SizeofResource, FreeResource.
#include "platform/resources/resource_id.h"
#include "platform/resources/resource_table.h"

#include "win/errors.h"
#include "win/kernel.h"
#include "win/resource.h"

namespace qb::resources {

bool ResourceIdOf(LPCWSTR name, WORD* id) {
    if (!name) return false;
    if (IS_INTRESOURCE(name)) {
        *id = LOWORD(reinterpret_cast<ULONG_PTR>(name));
        return *id != 0;
    }
    constexpr DWORD kMaxId = 0xFFFF;
    if (name[0] != u'#' || name[1] == 0) return false;
    DWORD value = 0;
    for (LPCWSTR p = name + 1; *p; ++p) {
        if (*p < u'0' || *p > u'9') return false;
        value = value * 10 + static_cast<DWORD>(*p - u'0');
        if (value > kMaxId) return false;
    }
    *id = static_cast<WORD>(value);
    return value != 0;
}

} // namespace qb::resources

namespace {

using qb::resources::ResourceEntry;

HRSRC Find(LPCWSTR type, LPCWSTR name, WORD language, bool exactOnly) {
    WORD typeId = 0, id = 0;
    if (!qb::resources::ResourceIdOf(type, &typeId)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    if (!qb::resources::ResourceIdOf(name, &id)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    qb::resources::ResourceLookup found =
        qb::resources::FindResourceEntry(typeId, id, language, exactOnly);
    if (!found.entry) {
        SetLastError(found.error);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(found.entry));
}

const ResourceEntry* EntryOf(HRSRC info) {
    if (!info || !qb::resources::IsResourceEntry(info)) return nullptr;
    return reinterpret_cast<const ResourceEntry*>(info);
}

} // namespace

HRSRC WINAPI FindResourceW(HMODULE, LPCWSTR lpName, LPCWSTR lpType) {
    return Find(lpType, lpName, GetSystemDefaultLangID(), false);
}

HRSRC WINAPI FindResourceExW(HMODULE, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage) {
    if (wLanguage == MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL))
        return Find(lpType, lpName, GetSystemDefaultLangID(), false);
    return Find(lpType, lpName, wLanguage, true);
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
    const ResourceEntry* entry = EntryOf(hResInfo);
    if (!entry) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return const_cast<BYTE*>(entry->bytes);
}

LPVOID WINAPI LockResource(HGLOBAL hResData) {
    return hResData;
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
    const ResourceEntry* entry = EntryOf(hResInfo);
    if (!entry) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return entry->size;
}

BOOL WINAPI FreeResource(HGLOBAL) {
    return FALSE;
}
