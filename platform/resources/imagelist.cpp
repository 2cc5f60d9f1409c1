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

uint32_t ArgbOf(COLORREF color) {
    return kOpaque | ((color & 0xFFu) << 16) | (color & 0xFF00u) | ((color >> 16) & 0xFFu);
}

// Cuts a strip into images of the list's size; isTransparent(x, y) marks the pixels
// a mask removes. The index of the first image added, or -1.
template <class Mask> int AddStrip(HIMAGELIST himl, const Pixels& strip, Mask isTransparent) {
    int index = -1;
    ImageLists().With(himl, [&](ImageListObject& list) {
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
                    uint32_t p = strip.At(sx, y);
                    image.argb[static_cast<size_t>(y) * list.cx + x] =
                        masked && isTransparent(sx, y) ? kTransparent : p;
                }
            list.images.push_back(std::move(image));
        }
    });
    return index;
}

bool ValidSide(int side) {
    return side > 0 && side <= kMaxImageSide;
}

} // namespace

HandleTable<ImageListObject>& ImageLists() {
    static HandleTable<ImageListObject>* table = new HandleTable<ImageListObject>;
    return *table;
}

bool CopyImageListImage(HIMAGELIST list, int index, uint32_t* argb, size_t capacity) {
    bool ok = false;
    ImageLists().With(list, [&](const ImageListObject& l) {
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
using qb::resources::ImageLists;
using qb::resources::Pixels;

HIMAGELIST WINAPI ImageList_Create(int cx, int cy, UINT flags, int, int) {
    if (!qb::resources::ValidSide(cx) || !qb::resources::ValidSide(cy)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto list = std::make_unique<ImageListObject>();
    list->cx = cx;
    list->cy = cy;
    list->flags = flags;
    return static_cast<HIMAGELIST>(ImageLists().Add(std::move(list)));
}

BOOL WINAPI ImageList_Destroy(HIMAGELIST himl) {
    return ImageLists().RemoveUnless(himl, [](const ImageListObject&) { return false; }) ? TRUE
                                                                                         : FALSE;
}

int WINAPI ImageList_GetImageCount(HIMAGELIST himl) {
    int count = 0;
    ImageLists().With(himl,
                      [&](const ImageListObject& l) { count = static_cast<int>(l.images.size()); });
    return count;
}

BOOL WINAPI ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy) {
    if (!cx || !cy) return FALSE;
    return ImageLists().With(himl,
                             [&](const ImageListObject& l) {
                                 *cx = l.cx;
                                 *cy = l.cy;
                             })
               ? TRUE
               : FALSE;
}

int WINAPI ImageList_Add(HIMAGELIST himl, HBITMAP hbmImage, HBITMAP hbmMask) {
    Pixels strip, mask;
    if (!qb::resources::BitmapPixels(hbmImage, &strip)) return -1;
    bool hasMask = hbmMask && qb::resources::BitmapPixels(hbmMask, &mask);
    if (hasMask && (mask.width < strip.width || mask.height < strip.height)) return -1;
    return qb::resources::AddStrip(himl, strip, [&](int x, int y) {
        if (!hasMask) return false;
        uint32_t m = mask.At(x, y); // white marks transparency in a mask bitmap
        return (m & 0xFF) + ((m >> 8) & 0xFF) + ((m >> 16) & 0xFF) >= 3 * 0x80;
    });
}

int WINAPI ImageList_AddMasked(HIMAGELIST himl, HBITMAP hbmImage, COLORREF crMask) {
    Pixels strip;
    if (!qb::resources::BitmapPixels(hbmImage, &strip)) return -1;
    uint32_t key = qb::resources::ArgbOf(crMask);
    return qb::resources::AddStrip(himl, strip,
                                   [&](int x, int y) { return strip.At(x, y) == key; });
}

BOOL WINAPI ImageList_Remove(HIMAGELIST himl, int i) {
    bool ok = false;
    ImageLists().With(himl, [&](ImageListObject& l) {
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
    if (!qb::resources::LoadBitmapResource(lpbmp, uFlags, &strip)) return nullptr;
    if (!qb::resources::ValidSide(cx) || strip.width < cx) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool masked = crMask != static_cast<COLORREF>(CLR_NONE);
    HIMAGELIST list =
        ImageList_Create(cx, strip.height, ILC_COLOR | (masked ? ILC_MASK : 0), 0, cGrow);
    if (!list) return nullptr;
    uint32_t key = crMask == static_cast<COLORREF>(CLR_DEFAULT) ? strip.At(0, 0)
                                                                : qb::resources::ArgbOf(crMask);
    if (qb::resources::AddStrip(list, strip, [&](int x, int y) { return strip.At(x, y) == key; }) <
        0) {
        ImageList_Destroy(list);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return list;
}
