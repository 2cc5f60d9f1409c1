// Image lists: made from a bitmap resource cut into equal images, with a transparent colour.
#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "dib_builder.h"
#include "platform/resources/images.h"
#include "platform/resources/resource_table.h"

namespace {

using qb::resources::ResourceEntry;

constexpr WORD kBitmapType = 2;
constexpr WORD kNeutral = 0;

// 32 x 16: the left half index 9 with an index-0 corner, the right half index 5 with a
// column of index 9.
const dib::Bytes& strip() {
    static const dib::Bytes bytes = [] {
        std::vector<std::string> rows(16);
        for (int y = 0; y < 16; ++y) {
            rows[y] = std::string(16, '9') + std::string(16, '5');
            rows[y][20] = '9';
        }
        rows[0][0] = '0';
        return dib::fourBit(rows);
    }();
    return bytes;
}
const dib::Bytes& mask() { // white where the strip should be transparent: column 1
    static const dib::Bytes bytes =
        dib::rgb24(32, 16, [](int x, int) { return x == 1 ? 0xFFFFFFu : 0u; });
    return bytes;
}
const dib::Bytes& white() {
    static const dib::Bytes bytes = dib::rgb24(16, 16, [](int, int) { return 0xFFFFFFu; });
    return bytes;
}

uint32_t opaque(int paletteIndex) {
    return 0xFF000000u | dib::paletteRgb(paletteIndex);
}
COLORREF colorref(int paletteIndex) {
    uint32_t rgb = dib::paletteRgb(paletteIndex);
    return RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

class ImageListTest : public ::testing::Test {
protected:
    void SetUp() override {
        table_ = {
            {kBitmapType, 9400, kNeutral, strip().data(), DWORD(strip().size())},
            {kBitmapType, 9401, kNeutral, mask().data(), DWORD(mask().size())},
            {kBitmapType, 9402, kNeutral, white().data(), DWORD(white().size())},
        };
        ASSERT_TRUE(qb::resources::RegisterResourceTable(table_.data(), table_.size()));
    }
    void TearDown() override { qb::resources::UnregisterResourceTable(table_.data()); }

    static std::vector<uint32_t> image(HIMAGELIST list, int index) {
        std::vector<uint32_t> out(16 * 16);
        if (!qb::resources::CopyImageListImage(list, index, out.data(), out.size())) return {};
        return out;
    }

    std::vector<ResourceEntry> table_;
};

TEST_F(ImageListTest, BitmapIsCutIntoImagesWithTheMaskColourTransparent) {
    HIMAGELIST list = ImageList_LoadImageW(nullptr, MAKEINTRESOURCEW(9400), 16, 1, colorref(9),
                                           IMAGE_BITMAP, LR_DEFAULTCOLOR);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(list), 2);
    int cx = 0, cy = 0;
    EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);
    std::vector<uint32_t> first = image(list, 0), second = image(list, 1);
    ASSERT_EQ(first.size(), 256u);
    EXPECT_EQ(first[0], opaque(0));
    EXPECT_EQ(first[1], 0u);
    EXPECT_EQ(second[0], opaque(5));
    EXPECT_EQ(second[4], 0u); // strip column 20
    EXPECT_TRUE(image(list, 2).empty());
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
}

TEST_F(ImageListTest, MaskChoices) {
    struct Case {
        COLORREF mask;
        uint32_t firstPixel;
        uint32_t secondPixel;
    };
    const Case cases[] = {
        {static_cast<COLORREF>(CLR_NONE), opaque(0), opaque(9)},
        {static_cast<COLORREF>(CLR_DEFAULT), 0u, opaque(9)}, // the top-left colour
        {RGB(1, 2, 3), opaque(0), opaque(9)},                // a colour that is not there
    };
    for (const Case& c : cases) {
        HIMAGELIST list = ImageList_LoadBitmap(nullptr, MAKEINTRESOURCEW(9400), 16, 0, c.mask);
        ASSERT_NE(list, nullptr);
        std::vector<uint32_t> first = image(list, 0);
        EXPECT_EQ(first[0], c.firstPixel);
        EXPECT_EQ(first[1], c.secondPixel);
        ImageList_Destroy(list);
    }
}

TEST_F(ImageListTest, AddingBitmapsToACreatedList) {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, 2, 2);
    ASSERT_NE(list, nullptr);
    HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(9400));
    HBITMAP maskBitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(9401));
    HBITMAP small = LoadBitmapW(nullptr, MAKEINTRESOURCEW(9402));
    ASSERT_TRUE(bitmap && maskBitmap && small);

    EXPECT_EQ(ImageList_Add(list, bitmap, maskBitmap), 0);
    EXPECT_EQ(image(list, 0)[1], 0u); // white in the mask
    EXPECT_EQ(image(list, 0)[2], opaque(9));
    EXPECT_EQ(ImageList_AddMasked(list, bitmap, colorref(5)), 2);
    EXPECT_EQ(image(list, 3)[0], 0u);
    EXPECT_EQ(image(list, 3)[4], opaque(9));
    EXPECT_EQ(ImageList_Add(list, small, nullptr), 4);
    EXPECT_EQ(ImageList_GetImageCount(list), 5);

    EXPECT_TRUE(ImageList_Remove(list, 0));
    EXPECT_EQ(ImageList_GetImageCount(list), 4);
    EXPECT_FALSE(ImageList_Remove(list, 4));
    EXPECT_TRUE(ImageList_Remove(list, -1));
    EXPECT_EQ(ImageList_GetImageCount(list), 0);

    // A handle that is not a bitmap, or a list that is gone, adds nothing.
    EXPECT_EQ(ImageList_Add(list, reinterpret_cast<HBITMAP>(list), nullptr), -1);
    ImageList_Destroy(list);
    EXPECT_EQ(ImageList_AddMasked(list, bitmap, 0), -1);
    DeleteObject(bitmap);
    DeleteObject(maskBitmap);
    DeleteObject(small);
}

TEST_F(ImageListTest, BadRequestsGiveNoList) {
    EXPECT_EQ(ImageList_Create(0, 16, ILC_COLOR, 1, 1), nullptr);
    EXPECT_EQ(ImageList_Create(16, -1, ILC_COLOR, 1, 1), nullptr);
    EXPECT_EQ(
        ImageList_LoadImageW(nullptr, MAKEINTRESOURCEW(9400), 33, 0, CLR_NONE, IMAGE_BITMAP, 0),
        nullptr); // wider than the bitmap
    EXPECT_EQ(ImageList_LoadImageW(nullptr, MAKEINTRESOURCEW(9400), 16, 0, CLR_NONE, IMAGE_ICON, 0),
              nullptr);
    EXPECT_EQ(
        ImageList_LoadImageW(nullptr, MAKEINTRESOURCEW(9999), 16, 0, CLR_NONE, IMAGE_BITMAP, 0),
        nullptr);
    int cx, cy;
    EXPECT_FALSE(ImageList_GetIconSize(nullptr, &cx, &cy));
}

} // namespace
