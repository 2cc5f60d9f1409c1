// LoadImageW, LoadIconW, LoadBitmapW, DestroyIcon, DeleteObject and the pixel access of
// images.h.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/resources/image_objects.h"
#include "platform/resources/images.h"
#include "platform/resources/resource_id.h"
#include "platform/resources/resource_table.h"
#include "win/errors.h"
#include "win/kernel.h"

namespace qb::resources {
namespace {

constexpr WORD kTypeBitmap = 2;
constexpr WORD kTypeIcon = 3;
constexpr WORD kTypeGroupIcon = 14;
constexpr int kDefaultIconSide = 32; // SM_CXICON, SM_CYICON
constexpr size_t kGroupHeaderSize = 6;
constexpr size_t kGroupEntrySize = 14;
constexpr WORD kGroupTypeIcon = 1;

const ResourceEntry* FindEntry(WORD type, WORD id) {
    ResourceLookup found = FindResourceEntry(type, id, GetSystemDefaultLangID(), false);
    if (!found.entry) SetLastError(found.error);
    return found.entry;
}

WORD Le16(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

struct GroupChoice {
    WORD imageId = 0;
    int width = 0;
    int height = 0;
};

// The group's image closest in size to cx by cy (0: the first image's size), the deeper
// colour winning a tie.
bool ChooseIconImage(const ResourceEntry& group, int cx, int cy, GroupChoice* out) {
    if (group.size < kGroupHeaderSize || Le16(group.bytes) != 0 ||
        Le16(group.bytes + 2) != kGroupTypeIcon)
        return false;
    WORD count = Le16(group.bytes + 4);
    if (count == 0 || group.size < kGroupHeaderSize + count * kGroupEntrySize) return false;
    int bestScore = 0, bestDepth = 0;
    bool found = false;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* e = group.bytes + kGroupHeaderSize + i * kGroupEntrySize;
        int w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256; // 0 stands for 256
        int depth = Le16(e + 6);
        if (i == 0) {
            if (cx == 0) cx = w;
            if (cy == 0) cy = h;
        }
        int score = std::abs(w - cx) + std::abs(h - cy);
        if (!found || score < bestScore || (score == bestScore && depth > bestDepth)) {
            found = true;
            bestScore = score;
            bestDepth = depth;
            out->imageId = Le16(e + 12);
            out->width = cx;
            out->height = cy;
        }
    }
    return found;
}

bool LoadIcon(WORD id, int cx, int cy, UINT flags, Pixels* out) {
    if (cx == 0 && (flags & LR_DEFAULTSIZE)) cx = kDefaultIconSide;
    if (cy == 0 && (flags & LR_DEFAULTSIZE)) cy = kDefaultIconSide;
    const ResourceEntry* group = FindEntry(kTypeGroupIcon, id);
    if (!group) return false;
    GroupChoice choice;
    if (!ChooseIconImage(*group, cx, cy, &choice)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    const ResourceEntry* image = FindEntry(kTypeIcon, choice.imageId);
    if (!image) return false;
    Pixels decoded;
    if (!DecodeIconImage(image->bytes, image->size, &decoded)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    if (decoded.width != choice.width || decoded.height != choice.height)
        decoded = ScalePixels(decoded, choice.width, choice.height);
    *out = std::move(decoded);
    return true;
}

bool LoadBitmap(WORD id, int cx, int cy, Pixels* out) {
    const ResourceEntry* entry = FindEntry(kTypeBitmap, id);
    if (!entry) return false;
    Pixels decoded;
    if (!DecodeBitmap(entry->bytes, entry->size, &decoded)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    int width = cx ? cx : decoded.width, height = cy ? cy : decoded.height;
    if (width != decoded.width || height != decoded.height)
        decoded = ScalePixels(decoded, width, height);
    *out = std::move(decoded);
    return true;
}

bool ValidRequest(LPCWSTR name, UINT type, int cx, int cy, UINT flags, WORD* id) {
    if (flags & LR_LOADFROMFILE) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    if ((type != IMAGE_ICON && type != IMAGE_BITMAP) || cx < 0 || cy < 0 || cx > kMaxImageSide ||
        cy > kMaxImageSide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!ResourceIdOf(name, id)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return false;
    }
    return true;
}

HANDLE CreateImage(WORD id, UINT type, int cx, int cy, UINT flags, bool shared) {
    auto object = std::make_unique<ImageObject>();
    object->type = type;
    object->shared = shared;
    bool ok = type == IMAGE_ICON ? LoadIcon(id, cx, cy, flags, &object->pixels)
                                 : LoadBitmap(id, cx, cy, &object->pixels);
    return ok ? ImageObjects().Add(std::move(object)) : nullptr;
}

// LR_SHARED images, one per request; they are never destroyed.
struct SharedImages {
    std::mutex lock;
    std::map<std::tuple<UINT, WORD, int, int, UINT>, HANDLE> handles;
};

SharedImages& SharedImageCache() {
    static SharedImages* images = new SharedImages;
    return *images;
}

bool RemoveImage(const void* handle, UINT type) {
    bool wrongType = false;
    bool live = ImageObjects().RemoveUnless(handle, [&](const ImageObject& o) {
        wrongType = o.type != type;
        return wrongType || o.shared;
    });
    if (!live || wrongType) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

} // namespace

HandleTable<ImageObject>& ImageObjects() {
    static HandleTable<ImageObject>* table = new HandleTable<ImageObject>;
    return *table;
}

bool BitmapPixels(HBITMAP bitmap, Pixels* out) {
    bool isBitmap = false;
    bool live = ImageObjects().With(bitmap, [&](const ImageObject& o) {
        isBitmap = o.type == IMAGE_BITMAP;
        if (isBitmap) *out = o.pixels;
    });
    return live && isBitmap;
}

bool LoadBitmapResource(LPCWSTR name, UINT flags, Pixels* out) {
    WORD id;
    return ValidRequest(name, IMAGE_BITMAP, 0, 0, flags, &id) && LoadBitmap(id, 0, 0, out);
}

bool DescribeImage(HANDLE image, ImageInfo* info) {
    return ImageObjects().With(image, [&](const ImageObject& o) {
        info->type = o.type;
        info->width = o.pixels.width;
        info->height = o.pixels.height;
    });
}

bool CopyImagePixels(HANDLE image, uint32_t* argb, size_t capacity) {
    bool fits = false;
    bool live = ImageObjects().With(image, [&](const ImageObject& o) {
        fits = argb && o.pixels.argb.size() <= capacity;
        if (fits) std::copy(o.pixels.argb.begin(), o.pixels.argb.end(), argb);
    });
    return live && fits;
}

} // namespace qb::resources

using qb::resources::CreateImage;
using qb::resources::SharedImageCache;

HANDLE WINAPI LoadImageW(HINSTANCE, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad) {
    WORD id;
    if (!qb::resources::ValidRequest(name, type, cx, cy, fuLoad, &id)) return nullptr;
    if (!(fuLoad & LR_SHARED)) return CreateImage(id, type, cx, cy, fuLoad, false);
    auto& shared = SharedImageCache();
    std::lock_guard<std::mutex> guard(shared.lock);
    auto key = std::make_tuple(type, id, cx, cy, fuLoad & LR_DEFAULTSIZE);
    auto it = shared.handles.find(key);
    if (it != shared.handles.end()) return it->second;
    HANDLE handle = CreateImage(id, type, cx, cy, fuLoad, true);
    if (handle) shared.handles.emplace(key, handle);
    return handle;
}

HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
    return static_cast<HICON>(
        LoadImageW(hInstance, lpIconName, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

HBITMAP WINAPI LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName) {
    return static_cast<HBITMAP>(LoadImageW(hInstance, lpBitmapName, IMAGE_BITMAP, 0, 0, 0));
}

BOOL WINAPI DestroyIcon(HICON hIcon) {
    return qb::resources::RemoveImage(hIcon, IMAGE_ICON) ? TRUE : FALSE;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    return qb::resources::RemoveImage(ho, IMAGE_BITMAP) ? TRUE : FALSE;
}
