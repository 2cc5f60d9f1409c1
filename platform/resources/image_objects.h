// The icon, bitmap and image-list objects of this library and their handle tables.
#pragma once

#include <vector>

#include "platform/resources/dib.h"
#include "platform/resources/handle_table.h"
#include "win/imagelist.h"
#include "win/resource.h"

namespace qb::resources {

struct ImageObject {
    UINT type = IMAGE_BITMAP; // IMAGE_ICON or IMAGE_BITMAP
    Pixels pixels;
    bool shared = false; // loaded with LR_SHARED: lives as long as the process
};

struct ImageListObject {
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
    std::vector<Pixels> images;
};

// Never destroyed, so that handles stay checkable during the process's own shutdown.
HandleTable<ImageObject>& ImageObjects();
HandleTable<ImageListObject>& ImageLists();

// The pixels of a live bitmap handle; false for anything else.
bool BitmapPixels(HBITMAP bitmap, Pixels* out);

// A bitmap resource decoded, for image lists; false with the last error set.
bool LoadBitmapResource(LPCWSTR name, UINT flags, Pixels* out);

} // namespace qb::resources
