// What the window layer needs to show icons, bitmaps and image-list images: their size and
// pixels (top row first, 0xAARRGGBB, alpha 0 transparent). Terminal rendering may use them
// to pick a glyph or colour, or ignore them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "win/imagelist.h"
#include "win/resource.h"

namespace qb::resources {

struct ImageInfo {
    UINT type = 0; // IMAGE_ICON or IMAGE_BITMAP
    int width = 0;
    int height = 0;
};

// False when the handle is not a live icon or bitmap.
bool DescribeImage(HANDLE image, ImageInfo* info);
// Copies width * height pixels; false when the handle is not live or capacity is short.
bool CopyImagePixels(HANDLE image, uint32_t* argb, size_t capacity);
// One image of a list (ImageList_GetIconSize gives its size); false for a bad index.
bool CopyImageListImage(HIMAGELIST list, int index, uint32_t* argb, size_t capacity);

} // namespace qb::resources
