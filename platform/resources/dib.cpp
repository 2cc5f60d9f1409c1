#include "platform/resources/dib.h"

namespace qb::resources {
namespace {

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;

uint16_t Le16(const BYTE* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const BYTE* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct DibLayout {
    int width = 0;
    int height = 0; // rows of colour data
    bool topDown = false;
    int bitCount = 0;
    uint32_t paletteOffset = 0;
    uint32_t paletteSize = 0; // entries
    size_t bitsOffset = 0;
    size_t stride = 0;
};

size_t StrideOf(int width, int bitCount) {
    return ((static_cast<size_t>(width) * static_cast<size_t>(bitCount) + 31) / 32) * 4;
}

// Reads the header; heightDivisor is 2 for icon images, whose header counts the mask rows.
bool ReadLayout(const BYTE* data, size_t size, int heightDivisor, DibLayout* out) {
    if (!data || size < kInfoHeaderSize) return false;
    uint32_t headerSize = Le32(data);
    if (headerSize < kInfoHeaderSize || headerSize > size) return false;
    int32_t width = static_cast<int32_t>(Le32(data + 4));
    int32_t height = static_cast<int32_t>(Le32(data + 8));
    uint16_t planes = Le16(data + 12);
    uint16_t bitCount = Le16(data + 14);
    uint32_t compression = Le32(data + 16);
    uint32_t colorsUsed = Le32(data + 32);
    if (planes != 1 || compression != kBiRgb) return false;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return false;
    out->topDown = height < 0;
    int64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
    if (rows % heightDivisor != 0) return false;
    rows /= heightDivisor;
    if (width <= 0 || width > kMaxImageSide || rows <= 0 || rows > kMaxImageSide) return false;
    out->width = width;
    out->height = static_cast<int>(rows);
    out->bitCount = bitCount;
    // Paletted images index their table; deeper ones may still carry one, which is skipped.
    uint32_t maxPalette = bitCount <= 8 ? (1u << bitCount) : 256;
    if (colorsUsed > maxPalette) return false;
    uint32_t storedEntries = bitCount <= 8 && colorsUsed == 0 ? maxPalette : colorsUsed;
    out->paletteSize = bitCount <= 8 ? storedEntries : 0;
    out->paletteOffset = headerSize;
    out->bitsOffset = static_cast<size_t>(headerSize) + static_cast<size_t>(storedEntries) * 4;
    out->stride = StrideOf(out->width, out->bitCount);
    return out->bitsOffset <= size &&
           out->stride * static_cast<size_t>(out->height) <= size - out->bitsOffset;
}

uint32_t PaletteColor(const BYTE* data, const DibLayout& layout, uint32_t index) {
    if (index >= layout.paletteSize) return kOpaque;         // black, as GDI shows a bad index
    const BYTE* q = data + layout.paletteOffset + index * 4; // RGBQUAD: blue, green, red
    return kOpaque | (static_cast<uint32_t>(q[2]) << 16) | (static_cast<uint32_t>(q[1]) << 8) |
           q[0];
}

// Colour of pixel x in a row; the alpha of 32-bit pixels is kept as stored.
uint32_t PixelOf(const BYTE* data, const DibLayout& layout, const BYTE* row, int x) {
    switch (layout.bitCount) {
    case 1:
        return PaletteColor(data, layout, (row[x / 8] >> (7 - x % 8)) & 1);
    case 4:
        return PaletteColor(data, layout, (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF);
    case 8:
        return PaletteColor(data, layout, row[x]);
    case 24: {
        const BYTE* p = row + static_cast<size_t>(x) * 3;
        return kOpaque | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) |
               p[0];
    }
    default: {
        const BYTE* p = row + static_cast<size_t>(x) * 4;
        return (static_cast<uint32_t>(p[3]) << 24) | (static_cast<uint32_t>(p[2]) << 16) |
               (static_cast<uint32_t>(p[1]) << 8) | p[0];
    }
    }
}

const BYTE* RowOf(const BYTE* base, const DibLayout& layout, size_t stride, int y) {
    size_t stored =
        layout.topDown ? static_cast<size_t>(y) : static_cast<size_t>(layout.height - 1 - y);
    return base + stored * stride;
}

void DecodeColours(const BYTE* data, const DibLayout& layout, Pixels* out) {
    out->width = layout.width;
    out->height = layout.height;
    out->argb.assign(static_cast<size_t>(layout.width) * layout.height, 0);
    const BYTE* bits = data + layout.bitsOffset;
    for (int y = 0; y < layout.height; ++y) {
        const BYTE* row = RowOf(bits, layout, layout.stride, y);
        for (int x = 0; x < layout.width; ++x)
            out->argb[static_cast<size_t>(y) * layout.width + x] = PixelOf(data, layout, row, x);
    }
}

} // namespace

bool DecodeBitmap(const BYTE* data, size_t size, Pixels* out) {
    DibLayout layout;
    if (!ReadLayout(data, size, 1, &layout)) return false;
    DecodeColours(data, layout, out);
    for (uint32_t& p : out->argb) p |= kOpaque; // bitmaps have no transparency of their own
    return true;
}

bool DecodeIconImage(const BYTE* data, size_t size, Pixels* out) {
    DibLayout layout;
    if (!ReadLayout(data, size, 2, &layout)) return false;
    DecodeColours(data, layout, out);
    bool hasAlpha = false;
    if (layout.bitCount == 32)
        for (uint32_t p : out->argb) hasAlpha = hasAlpha || (p >> 24) != 0;
    if (hasAlpha) return true;
    size_t maskStride = StrideOf(layout.width, 1);
    size_t maskOffset = layout.bitsOffset + layout.stride * static_cast<size_t>(layout.height);
    if (maskStride * static_cast<size_t>(layout.height) > size - maskOffset) return false;
    const BYTE* mask = data + maskOffset;
    for (int y = 0; y < layout.height; ++y) {
        const BYTE* row = RowOf(mask, layout, maskStride, y);
        for (int x = 0; x < layout.width; ++x) {
            uint32_t& p = out->argb[static_cast<size_t>(y) * layout.width + x];
            bool transparent = (row[x / 8] >> (7 - x % 8)) & 1;
            p = transparent ? 0 : (p | kOpaque);
        }
    }
    return true;
}

Pixels ScalePixels(const Pixels& source, int width, int height) {
    Pixels out;
    out.width = width;
    out.height = height;
    out.argb.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        int sy = static_cast<int>(static_cast<int64_t>(y) * source.height / height);
        for (int x = 0; x < width; ++x) {
            int sx = static_cast<int>(static_cast<int64_t>(x) * source.width / width);
            out.argb[static_cast<size_t>(y) * width + x] = source.At(sx, sy);
        }
    }
    return out;
}

} // namespace qb::resources
