// ImageList_Create, _Destroy, _GetImageCount, _GetIconSize, _Add, _AddMasked, _Remove,
// _LoadImageW and the image access of images.h.
#include <algorithm>

#include "platform/resources/image_objects.h"
#include "platform/resources/images.h"
#include "win/errors.h"
#include "win/kernel.h"

namespace qb::resources {
namespace {

constexpr int kMaxImages = 4096;
constexpr uint32_t kTransparent = 0;

uint32_t argbOf(COLORREF color) {
    return kOpaque | ((color & 0xFFu) << 16) | (color & 0xFF00u) | ((color >> 16) & 0xFFu);
}

// Cuts a strip into images of the list's size; isTransparent(x, y) marks the pixels
// a mask removes. The index of the first image added, or -1.
template <class Mask> int addStrip(HIMAGELIST himl, const Pixels& strip, Mask isTransparent) {
    int index = -1;
    imageLists().with(himl, [&](ImageListObject& list) {
        if (strip.height != list.cy || strip.width < list.cx) return;
        int count = strip.width / list.cx;
        if (static_cast<int>(list.images.size()) + count > kMaxImages) return;
        bool masked = (list.flags & ILC_MASK) != 0;
        index = static_cast<int>(list.images.size());
        for (int n = 0; n < count; ++n) {
            Pixels image;
            image.width = list.cx;
            image.height = list.cy;
            image.argb.resize(static_cast<size_t>(list.cx) * list.cy);
            for (int y = 0; y < list.cy; ++y)
                for (int x = 0; x < list.cx; ++x) {
                    int sx = n * list.cx + x;
                    uint32_t p = strip.at(sx, y);
                    image.argb[static_cast<size_t>(y) * list.cx + x] =
                        masked && isTransparent(sx, y) ? kTransparent : p;
                }
            list.images.push_back(std::move(image));
        }
    });
    return index;
}

bool validSide(int side) {
    return side > 0 && side <= kMaxImageSide;
}

} // namespace

HandleTable<ImageListObject>& imageLists() {
    static HandleTable<ImageListObject>* table = new HandleTable<ImageListObject>;
    return *table;
}

bool copyImageListImage(HIMAGELIST list, int index, uint32_t* argb, size_t capacity) {
    bool ok = false;
    imageLists().with(list, [&](const ImageListObject& l) {
        if (!argb || index < 0 || index >= static_cast<int>(l.images.size())) return;
        const Pixels& image = l.images[static_cast<size_t>(index)];
        if (image.argb.size() > capacity) return;
        std::copy(image.argb.begin(), image.argb.end(), argb);
        ok = true;
    });
    return ok;
}

} // namespace qb::resources

using qb::resources::ImageListObject;
using qb::resources::imageLists;
using qb::resources::Pixels;

HIMAGELIST WINAPI ImageList_Create(int cx, int cy, UINT flags, int, int) {
    if (!qb::resources::validSide(cx) || !qb::resources::validSide(cy)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto list = std::make_unique<ImageListObject>();
    list->cx = cx;
    list->cy = cy;
    list->flags = flags;
    return static_cast<HIMAGELIST>(imageLists().add(std::move(list)));
}

BOOL WINAPI ImageList_Destroy(HIMAGELIST himl) {
    return imageLists().removeUnless(himl, [](const ImageListObject&) { return false; }) ? TRUE
                                                                                         : FALSE;
}

int WINAPI ImageList_GetImageCount(HIMAGELIST himl) {
    int count = 0;
    imageLists().with(himl,
                      [&](const ImageListObject& l) { count = static_cast<int>(l.images.size()); });
    return count;
}

BOOL WINAPI ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy) {
    if (!cx || !cy) return FALSE;
    return imageLists().with(himl,
                             [&](const ImageListObject& l) {
                                 *cx = l.cx;
                                 *cy = l.cy;
                             })
               ? TRUE
               : FALSE;
}

int WINAPI ImageList_Add(HIMAGELIST himl, HBITMAP hbmImage, HBITMAP hbmMask) {
    Pixels strip, mask;
    if (!qb::resources::bitmapPixels(hbmImage, &strip)) return -1;
    bool hasMask = hbmMask && qb::resources::bitmapPixels(hbmMask, &mask);
    if (hasMask && (mask.width < strip.width || mask.height < strip.height)) return -1;
    return qb::resources::addStrip(himl, strip, [&](int x, int y) {
        if (!hasMask) return false;
        uint32_t m = mask.at(x, y); // white marks transparency in a mask bitmap
        return (m & 0xFF) + ((m >> 8) & 0xFF) + ((m >> 16) & 0xFF) >= 3 * 0x80;
    });
}

int WINAPI ImageList_AddMasked(HIMAGELIST himl, HBITMAP hbmImage, COLORREF crMask) {
    Pixels strip;
    if (!qb::resources::bitmapPixels(hbmImage, &strip)) return -1;
    uint32_t key = qb::resources::argbOf(crMask);
    return qb::resources::addStrip(himl, strip,
                                   [&](int x, int y) { return strip.at(x, y) == key; });
}

BOOL WINAPI ImageList_Remove(HIMAGELIST himl, int i) {
    bool ok = false;
    imageLists().with(himl, [&](ImageListObject& l) {
        if (i == -1) {
            l.images.clear();
            ok = true;
        } else if (i >= 0 && i < static_cast<int>(l.images.size())) {
            l.images.erase(l.images.begin() + i);
            ok = true;
        }
    });
    return ok ? TRUE : FALSE;
}

HIMAGELIST WINAPI ImageList_LoadImageW(HINSTANCE, LPCWSTR lpbmp, int cx, int cGrow, COLORREF crMask,
                                       UINT uType, UINT uFlags) {
    if (uType != IMAGE_BITMAP) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    Pixels strip;
    if (!qb::resources::loadBitmapResource(lpbmp, uFlags, &strip)) return nullptr;
    if (!qb::resources::validSide(cx) || strip.width < cx) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool masked = crMask != static_cast<COLORREF>(CLR_NONE);
    HIMAGELIST list =
        ImageList_Create(cx, strip.height, ILC_COLOR | (masked ? ILC_MASK : 0), 0, cGrow);
    if (!list) return nullptr;
    uint32_t key = crMask == static_cast<COLORREF>(CLR_DEFAULT) ? strip.at(0, 0)
                                                                : qb::resources::argbOf(crMask);
    if (qb::resources::addStrip(list, strip, [&](int x, int y) { return strip.at(x, y) == key; }) <
        0) {
        ImageList_Destroy(list);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return list;
}
