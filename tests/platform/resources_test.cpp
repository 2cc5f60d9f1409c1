// FindResourceW and its companions, LoadImageW, DestroyIcon and DeleteObject, over tables
// registered by the test itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "dib_builder.h"
#include "platform/resources/images.h"
#include "platform/resources/resource_table.h"
#include "scoped_env.h"

namespace {

using qb::resources::ResourceEntry;

constexpr WORD kJapanese = 0x0411;
constexpr WORD kEnglish = 0x0409;
constexpr WORD kGerman = 0x0407;
constexpr WORD kNeutral = 0x0000;
constexpr WORD kDialog = 5, kMenu = 4, kBitmapType = 2, kIconType = 3, kGroupIcon = 14;

const BYTE kJa[] = {'j', 'a'};
const BYTE kEn[] = {'e', 'n'};
const BYTE kNe[] = {'n', 'e'};
const BYTE kDe[] = {'d', 'e'};

// One id in several languages, others in one; the bytes name the language.
const ResourceEntry kLanguages[] = {
    {kDialog, 9001, kJapanese, kJa, sizeof kJa},
    {kDialog, 9001, kEnglish, kEn, sizeof kEn},
    {kDialog, 9001, kNeutral, kNe, sizeof kNe},
    {kDialog, 9002, kEnglish, kEn, sizeof kEn},
    {kDialog, 9002, kGerman, kDe, sizeof kDe},
    {kDialog, 9003, kJapanese, kJa, sizeof kJa},
    {kMenu, 9001, kEnglish, kEn, 0},
};

std::string bytesOf(HRSRC found) {
    HGLOBAL loaded = LoadResource(nullptr, found);
    const char* p = static_cast<const char*>(LockResource(loaded));
    return p ? std::string(p, SizeofResource(nullptr, found)) : std::string("<none>");
}

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(qb::resources::RegisterResourceTable(kLanguages, std::size(kLanguages)));
        env_.clearLocale();
    }
    void TearDown() override { qb::resources::UnregisterResourceTable(kLanguages); }
    ScopedEnv env_;
};

TEST_F(ResourceTest, LanguageFollowsTheSystemLanguageWithFallbacks) {
    struct Case {
        const char* locale;
        WORD id;
        const char* expected;
    };
    const Case cases[] = {
        {"ja_JP.UTF-8", 9001, "ja"}, {"en_US.UTF-8", 9001, "en"},
        {"de_DE.UTF-8", 9001, "ne"},                        // no German: neutral before English
        {"ja", 9001, "ja"},                                 // 0x0011: same primary language
        {"en_GB", 9001, "en"},                              // 0x0809: same primary language
        {"fr_FR", 9002, "en"},                              // neither French nor neutral: English
        {"de_DE", 9002, "de"},       {"en_US", 9003, "ja"}, // only Japanese: that one
    };
    for (const Case& c : cases) {
        env_.set("LANG", c.locale);
        HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(c.id), RT_DIALOG);
        ASSERT_NE(found, nullptr) << c.locale << " " << c.id;
        EXPECT_EQ(bytesOf(found), c.expected) << c.locale << " " << c.id;
    }
}

TEST_F(ResourceTest, ExplicitLanguageIsExact) {
    env_.set("LANG", "en_US.UTF-8");
    EXPECT_EQ(bytesOf(FindResourceExW(nullptr, RT_DIALOG, MAKEINTRESOURCEW(9001), kJapanese)),
              "ja");
    EXPECT_EQ(bytesOf(FindResourceExW(nullptr, RT_DIALOG, MAKEINTRESOURCEW(9001), kNeutral)),
              "en"); // neutral asks for the system's choice
    SetLastError(0);
    EXPECT_EQ(FindResourceExW(nullptr, RT_DIALOG, MAKEINTRESOURCEW(9003), kEnglish), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
}

TEST_F(ResourceTest, NamesAndFailures) {
    env_.set("LANG", "en_US.UTF-8");
    EXPECT_EQ(bytesOf(FindResourceW(nullptr, u"#9001", RT_DIALOG)), "en");
    struct Case {
        LPCWSTR name;
        LPCWSTR type;
        DWORD error;
    };
    const Case cases[] = {
        {MAKEINTRESOURCEW(9001), RT_BITMAP, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {MAKEINTRESOURCEW(9999), RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
        {u"MAINDIALOG", RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
        {u"#", RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
        {u"#70000", RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
        {u"#12a", RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
        {nullptr, RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
        {MAKEINTRESOURCEW(9001), u"DIALOG", ERROR_RESOURCE_TYPE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(FindResourceW(nullptr, c.name, c.type), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST_F(ResourceTest, LoadingGivesTheBytesAndBadHandlesAreRefused) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(9001), RT_MENU);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, found), 0u);
    EXPECT_NE(LockResource(LoadResource(nullptr, found)), nullptr);
    EXPECT_FALSE(FreeResource(LoadResource(nullptr, found))); // nothing to free

    int notAnEntry = 0;
    HRSRC bogus = reinterpret_cast<HRSRC>(&notAnEntry);
    EXPECT_EQ(LoadResource(nullptr, bogus), nullptr);
    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, bogus), 0u);
    EXPECT_EQ(LockResource(nullptr), nullptr);
}

TEST(ResourceTableTest, RegisteringTwiceChangesNothing) {
    static const ResourceEntry table[] = {{kDialog, 9101, kNeutral, kNe, sizeof kNe}};
    ASSERT_TRUE(qb::resources::RegisterResourceTable(table, 1));
    ASSERT_TRUE(qb::resources::RegisterResourceTable(table, 1));
    qb::resources::UnregisterResourceTable(table);
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(9101), RT_DIALOG), nullptr);
}

// ---- Images -----------------------------------------------------------------------------

// A 4 x 2 bitmap: palette indices 0 1 2 3 / 4 5 6 7.
const dib::Bytes& smallBitmap() {
    static const dib::Bytes bytes = dib::fourBit({"0123", "4567"});
    return bytes;
}
// Icon 9300: a 16 x 16 image of index 1 with a transparent top-left pixel, and a 32 x 32
// image of index 2.
const dib::Bytes& icon16() {
    static const std::vector<std::string> mask = [] {
        auto m = dib::filled(16, '0');
        m[0][0] = '1';
        return m;
    }();
    static const dib::Bytes bytes = dib::fourBit(dib::filled(16, '1'), &mask);
    return bytes;
}
const dib::Bytes& icon32() {
    static const auto mask = dib::filled(32, '0');
    static const dib::Bytes bytes = dib::fourBit(dib::filled(32, '2'), &mask);
    return bytes;
}
const dib::Bytes& group() {
    static const dib::Bytes bytes = dib::iconGroup({16, 32}, 9301);
    return bytes;
}
const dib::Bytes& runLengthBitmap() {
    static const dib::Bytes bytes = dib::fourBit({"0123"}, nullptr, 2); // BI_RLE4
    return bytes;
}
const dib::Bytes& cutOffBitmap() {
    static const dib::Bytes bytes = [] {
        dib::Bytes b = dib::fourBit({"0123", "4567"});
        b.pop_back(); // the last row is one byte short
        return b;
    }();
    return bytes;
}

uint32_t opaque(int paletteIndex) {
    return 0xFF000000u | dib::paletteRgb(paletteIndex);
}

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        table_ = {
            {kBitmapType, 9200, kNeutral, smallBitmap().data(), DWORD(smallBitmap().size())},
            {kBitmapType, 9201, kNeutral, runLengthBitmap().data(),
             DWORD(runLengthBitmap().size())},
            {kBitmapType, 9202, kNeutral, cutOffBitmap().data(), DWORD(cutOffBitmap().size())},
            {kGroupIcon, 9300, kNeutral, group().data(), DWORD(group().size())},
            {kIconType, 9301, kNeutral, icon16().data(), DWORD(icon16().size())},
            {kIconType, 9302, kNeutral, icon32().data(), DWORD(icon32().size())},
        };
        ASSERT_TRUE(qb::resources::RegisterResourceTable(table_.data(), table_.size()));
    }
    void TearDown() override { qb::resources::UnregisterResourceTable(table_.data()); }

    static std::vector<uint32_t> pixels(HANDLE image) {
        qb::resources::ImageInfo info;
        if (!qb::resources::DescribeImage(image, &info)) return {};
        std::vector<uint32_t> out(static_cast<size_t>(info.width) * info.height);
        EXPECT_TRUE(qb::resources::CopyImagePixels(image, out.data(), out.size()));
        EXPECT_FALSE(qb::resources::CopyImagePixels(image, out.data(), out.size() - 1));
        return out;
    }

    std::vector<ResourceEntry> table_;
};

TEST_F(ImageTest, BitmapDecodesTopRowFirst) {
    HANDLE bitmap = LoadImageW(nullptr, MAKEINTRESOURCEW(9200), IMAGE_BITMAP, 0, 0, 0);
    ASSERT_NE(bitmap, nullptr);
    qb::resources::ImageInfo info;
    ASSERT_TRUE(qb::resources::DescribeImage(bitmap, &info));
    EXPECT_EQ(info.type, static_cast<UINT>(IMAGE_BITMAP));
    EXPECT_EQ(info.width, 4);
    EXPECT_EQ(info.height, 2);
    std::vector<uint32_t> expected;
    for (int i = 0; i < 8; ++i) expected.push_back(opaque(i));
    EXPECT_EQ(pixels(bitmap), expected);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_FALSE(qb::resources::DescribeImage(bitmap, &info));
}

TEST_F(ImageTest, IconChoosesTheClosestImageAndScales) {
    struct Case {
        int cx, cy;
        UINT flags;
        int side;
        uint32_t colour;
    };
    const Case cases[] = {
        {16, 16, 0, 16, opaque(1)},
        {32, 32, 0, 32, opaque(2)},
        {0, 0, LR_DEFAULTSIZE, 32, opaque(2)},
        {0, 0, 0, 16, opaque(1)},   // first image's size
        {20, 20, 0, 20, opaque(1)}, // closest is 16, scaled up
        {48, 48, 0, 48, opaque(2)},
    };
    for (const Case& c : cases) {
        HANDLE icon = LoadImageW(nullptr, MAKEINTRESOURCEW(9300), IMAGE_ICON, c.cx, c.cy, c.flags);
        ASSERT_NE(icon, nullptr) << c.cx;
        qb::resources::ImageInfo info;
        ASSERT_TRUE(qb::resources::DescribeImage(icon, &info));
        EXPECT_EQ(info.type, static_cast<UINT>(IMAGE_ICON));
        EXPECT_EQ(info.width, c.side);
        EXPECT_EQ(info.height, c.side);
        std::vector<uint32_t> p = pixels(icon);
        EXPECT_EQ(p.back(), c.colour) << c.cx;
        EXPECT_TRUE(DestroyIcon(static_cast<HICON>(icon)));
    }
}

TEST_F(ImageTest, IconMaskMakesPixelsTransparent) {
    HANDLE icon = LoadImageW(nullptr, MAKEINTRESOURCEW(9300), IMAGE_ICON, 16, 16, 0);
    ASSERT_NE(icon, nullptr);
    std::vector<uint32_t> p = pixels(icon);
    EXPECT_EQ(p[0], 0u);
    EXPECT_EQ(p[1], opaque(1));
    DestroyIcon(static_cast<HICON>(icon));
}

TEST_F(ImageTest, SharedImagesAreOneHandleThatOutlivesDestroy) {
    HICON a = LoadIconW(nullptr, MAKEINTRESOURCEW(9300));
    HICON b = LoadIconW(nullptr, MAKEINTRESOURCEW(9300));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(DestroyIcon(a));
    qb::resources::ImageInfo info;
    EXPECT_TRUE(qb::resources::DescribeImage(a, &info));
    EXPECT_EQ(info.width, 32);
}

TEST_F(ImageTest, WrongKindsAndBadRequestsAreRefused) {
    HANDLE icon = LoadImageW(nullptr, MAKEINTRESOURCEW(9300), IMAGE_ICON, 16, 16, 0);
    HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(9200));
    ASSERT_NE(icon, nullptr);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_FALSE(DeleteObject(icon));
    EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(bitmap)));
    EXPECT_TRUE(DestroyIcon(static_cast<HICON>(icon)));
    EXPECT_TRUE(DeleteObject(bitmap));
    int notAnImage = 0;
    EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(&notAnImage)));
    EXPECT_FALSE(DestroyIcon(nullptr));

    struct Case {
        WORD id;
        UINT type;
        int cx;
        UINT flags;
        DWORD error;
    };
    const Case cases[] = {
        {9201, IMAGE_BITMAP, 0, 0, ERROR_RESOURCE_DATA_NOT_FOUND}, // compressed
        {9202, IMAGE_BITMAP, 0, 0, ERROR_RESOURCE_DATA_NOT_FOUND}, // cut off
        {9200, IMAGE_ICON, 0, 0, ERROR_RESOURCE_NAME_NOT_FOUND},   // no icon of that id
        {9300, IMAGE_CURSOR, 0, 0, ERROR_INVALID_PARAMETER},
        {9300, IMAGE_ICON, -1, 0, ERROR_INVALID_PARAMETER},
        {9300, IMAGE_ICON, 0, LR_LOADFROMFILE, ERROR_NOT_SUPPORTED},
        {9999, IMAGE_BITMAP, 0, 0, ERROR_RESOURCE_NAME_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(c.id), c.type, c.cx, c.cx, c.flags), nullptr)
            << c.id;
        EXPECT_EQ(GetLastError(), c.error) << c.id;
    }
}

TEST_F(ImageTest, ConcurrentLoadsAndDestroysAreSafe) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                HANDLE icon = LoadImageW(nullptr, MAKEINTRESOURCEW(9300), IMAGE_ICON, 16, 16, 0);
                HICON shared = LoadIconW(nullptr, MAKEINTRESOURCEW(9300));
                if (!icon || !shared || !DestroyIcon(static_cast<HICON>(icon))) ++failures;
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
