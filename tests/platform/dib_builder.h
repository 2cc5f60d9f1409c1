// Builds small device-independent bitmaps and icon images as resources hold them, so the
// resource tests can register pictures of known pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dib {

using Bytes = std::vector<uint8_t>;

// A 16-colour palette whose index i is the colour (i * 16, 255 - i * 16, i) in red, green, blue.
inline uint32_t paletteRgb(int i) {
    return (static_cast<uint32_t>(i * 16) << 16) | (static_cast<uint32_t>(255 - i * 16) << 8) |
           static_cast<uint32_t>(i);
}

inline void put16(Bytes* b, uint32_t v) {
    b->push_back(static_cast<uint8_t>(v));
    b->push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(Bytes* b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

inline size_t stride(int width, int bits) {
    return (static_cast<size_t>(width) * bits + 31) / 32 * 4;
}

// rows: one string per pixel row, top row first, one hex digit (palette index) per pixel.
// iconMask: for icon images, the rows of the AND mask ('1' transparent); the header then
// states twice the height.
inline Bytes fourBit(const std::vector<std::string>& rows,
                     const std::vector<std::string>* iconMask = nullptr, uint32_t compression = 0) {
    int width = static_cast<int>(rows[0].size());
    int height = static_cast<int>(rows.size());
    Bytes b;
    put32(&b, 40);
    put32(&b, static_cast<uint32_t>(width));
    put32(&b, static_cast<uint32_t>(iconMask ? height * 2 : height));
    put16(&b, 1);
    put16(&b, 4);
    put32(&b, compression);
    put32(&b, 0);
    put32(&b, 0);
    put32(&b, 0);
    put32(&b, 16);
    put32(&b, 0);
    for (int i = 0; i < 16; ++i) put32(&b, paletteRgb(i)); // RGBQUAD read as little-endian BGR0
    for (int y = height - 1; y >= 0; --y) {
        Bytes row(stride(width, 4), 0);
        for (int x = 0; x < width; ++x) {
            int v = std::stoi(std::string(1, rows[y][x]), nullptr, 16);
            row[x / 2] |= static_cast<uint8_t>(v << (x % 2 ? 0 : 4));
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    if (iconMask) {
        for (int y = height - 1; y >= 0; --y) {
            Bytes row(stride(width, 1), 0);
            for (int x = 0; x < width; ++x)
                if ((*iconMask)[y][x] == '1') row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            b.insert(b.end(), row.begin(), row.end());
        }
    }
    return b;
}

// A 24-bit bitmap; colour(x, y) gives 0xRRGGBB with y counted from the top.
template <class Colour> Bytes rgb24(int width, int height, Colour colour) {
    Bytes b;
    put32(&b, 40);
    put32(&b, static_cast<uint32_t>(width));
    put32(&b, static_cast<uint32_t>(height));
    put16(&b, 1);
    put16(&b, 24);
    for (int i = 0; i < 6; ++i) put32(&b, 0);
    for (int y = height - 1; y >= 0; --y) {
        Bytes row(stride(width, 24), 0);
        for (int x = 0; x < width; ++x) {
            uint32_t rgb = colour(x, y);
            row[x * 3] = static_cast<uint8_t>(rgb);
            row[x * 3 + 1] = static_cast<uint8_t>(rgb >> 8);
            row[x * 3 + 2] = static_cast<uint8_t>(rgb >> 16);
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

// GRPICONDIR for images of the given sizes, 4 bits deep, with resource ids firstId, ...
inline Bytes iconGroup(const std::vector<int>& sides, uint16_t firstId) {
    Bytes b;
    put16(&b, 0);
    put16(&b, 1);
    put16(&b, static_cast<uint32_t>(sides.size()));
    for (size_t i = 0; i < sides.size(); ++i) {
        b.push_back(static_cast<uint8_t>(sides[i]));
        b.push_back(static_cast<uint8_t>(sides[i]));
        b.push_back(16);
        b.push_back(0);
        put16(&b, 1);
        put16(&b, 4);
        put32(&b, 0);
        put16(&b, static_cast<uint32_t>(firstId + i));
    }
    return b;
}

inline std::vector<std::string> filled(int side, char index) {
    return std::vector<std::string>(static_cast<size_t>(side), std::string(side, index));
}

} // namespace dib
