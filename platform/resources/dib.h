// Device-independent bitmaps as resources hold them (BITMAPINFOHEADER, colour table, rows)
// decoded into pixels: bitmaps of RT_BITMAP and the images of RT_ICON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "win/types.h"

namespace qb::resources {

// Larger images are refused, so a damaged header cannot ask for gigabytes.
inline constexpr int kMaxImageSide = 4096;

// Top row first, 0xAARRGGBB per pixel; alpha 0 is transparent, 0xFF opaque.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;

    uint32_t At(int x, int y) const { return argb[static_cast<size_t>(y) * width + x]; }
};

inline constexpr uint32_t kOpaque = 0xFF000000u;

// BI_RGB bitmaps of 1, 4, 8, 24 or 32 bits per pixel, bottom-up or top-down; every pixel
// opaque. False for anything else or for data that is cut off.
bool DecodeBitmap(const BYTE* data, size_t size, Pixels* out);

// An icon image: the header states twice the height (colour rows, then the 1-bit AND mask
// whose set bits are transparent); 32-bit images with alpha use their alpha instead.
bool DecodeIconImage(const BYTE* data, size_t size, Pixels* out);

// Nearest-neighbour scaling to width by height (both positive).
Pixels ScalePixels(const Pixels& source, int width, int height);

} // namespace qb::resources
