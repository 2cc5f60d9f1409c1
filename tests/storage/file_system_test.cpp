// FileSystem over a sandbox device: the full-path rules, kind tests, enumeration, the create
// modes, the operations that ignore the base directory, and file streams it hands out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/Results.h"
#include "sandbox.h"
#include "storage/DevicePath.h"
#include "storage/FileSystem.h"

namespace {

std::u16string BaseOf(FileSystem& files) {
    WCHAR base[kModulePathCapacity] = {};
    if (files.GetBaseDirectory(base, kModulePathCapacity) != kResultOk) return u"<cut>";
    return base;
}

std::u16string Widen(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

TEST(FileSystemTest, FullPathJoinsBaseAndPath) {
    Sandbox box;
    ASSERT_TRUE(box.makeFolder("Temp"));
    const struct {
        const char16_t* base; // null: none
        const char16_t* path;
        const char* lands; // host path under the sandbox
    } cases[] = {
        {nullptr, u"a1", "a1"},          {nullptr, u"\\a2", "a2"},
        {nullptr, u"/a3", "a3"},         {u"\\Temp", u"b1", "Temp/b1"},
        {u"\\Temp", u"\\b2", "Temp/b2"}, {u"\\Temp", u"/b3", "Temp/b3"},
        {u"/Temp", u"b4", "Temp/b4"},    {u"\\", u"c1", "c1"},
        {u"Temp", u"b5", "Temp/b5"},
    };
    for (const auto& c : cases) {
        FileSystem files;
        if (c.base != nullptr) {
            ASSERT_EQ(files.SetBaseDirectory(c.base), kResultOk);
        }
        EXPECT_EQ(files.CreateEmptyFile(c.path, kCreateNewFile), kResultOk) << c.lands;
        EXPECT_TRUE(box.read(c.lands).has_value()) << c.lands;
        EXPECT_EQ(files.IsFile(c.path), kResultOk) << c.lands;
    }
}

TEST(FileSystemTest, NullBaseIsTheProgramFolder) {
    // Outside a sandbox the device root is "/", so the program's own path reads as a device
    // path of its host path.
    ScopedEnv env;
    env.set("QUILLBROOK_ROOT", nullptr);
    char exe[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    ASSERT_GT(length, 0);
    std::string folder(exe, static_cast<size_t>(length));
    folder.erase(folder.rfind('/'));
    std::replace(folder.begin(), folder.end(), '/', '\\');
    FileSystem files;
    ASSERT_EQ(files.SetBaseDirectory(nullptr), kResultOk);
    EXPECT_EQ(BaseOf(files), Widen(folder));
}

TEST(FileSystemTest, KindTests) {
    Sandbox box;
    ASSERT_TRUE(box.write("file.txt", "x"));
    ASSERT_TRUE(box.makeFolder("folder"));
    FileSystem files;
    const struct {
        const char16_t* path;
        int isFile;
        int isDirectory;
    } cases[] = {
        {u"file.txt", kResultOk, kResultFail},
        {u"\\folder", kResultFail, kResultOk},
        {u"folder", kResultFail, kResultOk},
        {u"missing", kResultFail, kResultFail},
        {u"\\folder\\missing", kResultFail, kResultFail},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(files.IsFile(c.path), c.isFile);
        EXPECT_EQ(files.IsDirectory(c.path), c.isDirectory);
    }
    EXPECT_EQ(files.IsFile(nullptr), kResultNullArgument);
    EXPECT_EQ(files.IsDirectory(nullptr), kResultNullArgument);
}

TEST(FileSystemTest, EmptyFolderHasNothingToEnumerate) {
    Sandbox box;
    ASSERT_TRUE(box.makeFolder("empty"));
    FileSystem files;
    ASSERT_EQ(files.SetBaseDirectory(u"\\empty"), kResultOk);
    FileSearch* search = reinterpret_cast<FileSearch*>(1);
    EXPECT_EQ(files.OpenSearch(&search, u"*"), kResultFail);
    EXPECT_EQ(search, nullptr);
}

TEST(FileSystemTest, EnumerationGivesEveryEntryOnce) {
    Sandbox box;
    ASSERT_TRUE(box.write("dir/one.txt", "1"));
    ASSERT_TRUE(box.write("dir/three.bin", "333"));
    ASSERT_TRUE(box.makeFolder("dir/sub"));
    FileSystem files;
    ASSERT_EQ(files.SetBaseDirectory(u"\\dir"), kResultOk);
    FileSearch* search = nullptr;
    ASSERT_EQ(files.OpenSearch(&search, u"*"), kResultOk);
    std::vector<std::u16string> seen;
    FileSearchEntry entry;
    while (files.NextEntry(search, &entry) == kResultOk) {
        seen.push_back(entry.name);
        if (seen.back() == u"sub") {
            EXPECT_EQ(entry.kind, kEntryDirectory);
        } else {
            EXPECT_EQ(entry.kind, kEntryFile);
            EXPECT_EQ(entry.size, seen.back() == u"one.txt" ? 1u : 3u);
        }
    }
    EXPECT_EQ(files.NextEntry(search, &entry), kResultEnd); // stays exhausted
    EXPECT_EQ(files.CloseSearch(search), kResultOk);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"one.txt", u"sub", u"three.bin"}));
}

TEST(FileSystemTest, SearchClosedBeforeItIsExhausted) {
    Sandbox box;
    ASSERT_TRUE(box.write("a", ""));
    ASSERT_TRUE(box.write("b", ""));
    FileSystem files;
    FileSearch* search = nullptr;
    ASSERT_EQ(files.OpenSearch(&search, u"?"), kResultOk);
    FileSearchEntry entry;
    ASSERT_EQ(files.NextEntry(search, &entry), kResultOk);
    EXPECT_EQ(files.NextEntry(search, nullptr), kResultNullArgument);
    EXPECT_EQ(files.CloseSearch(search), kResultOk); // frees the open platform search
}

TEST(FileSystemTest, CreateModes) {
    Sandbox box;
    ASSERT_TRUE(box.write("existing", "keep me"));
    FileSystem files;
    EXPECT_EQ(files.CreateEmptyFile(u"existing", kCreateNewFile), kResultFail);
    EXPECT_EQ(box.read("existing"), "keep me");
    EXPECT_EQ(files.CreateEmptyFile(u"existing", 7), kResultFail); // other modes mean new
    EXPECT_EQ(box.read("existing"), "keep me");
    EXPECT_EQ(files.CreateEmptyFile(u"existing", kCreateOrTruncateFile), kResultOk);
    EXPECT_EQ(box.read("existing"), "");
    EXPECT_EQ(files.CreateEmptyFile(u"fresh", kCreateOrTruncateFile), kResultOk);
    EXPECT_EQ(box.read("fresh"), "");
    EXPECT_EQ(files.CreateEmptyFile(u"\\no\\such\\folder\\f", kCreateNewFile), kResultFail);
    EXPECT_EQ(files.CreateEmptyFile(nullptr, kCreateNewFile), kResultNullArgument);
}

TEST(FileSystemTest, FoldersAndFilesWithEitherSeparator) {
    Sandbox box;
    FileSystem files;
    EXPECT_EQ(files.CreateFolder(u"\\a\\b"), kResultFail); // no parents are made
    EXPECT_EQ(files.CreateFolder(u"a"), kResultOk);
    EXPECT_EQ(files.CreateFolder(u"a/b"), kResultOk);
    EXPECT_EQ(files.IsDirectory(u"/a/b"), kResultOk);
    EXPECT_EQ(files.CreateEmptyFile(u"a/b/f", kCreateNewFile), kResultOk);
    EXPECT_EQ(files.RemoveFolder(u"a/b"), kResultFail); // not empty
    EXPECT_EQ(files.RemoveFile(u"a/b/f"), kResultOk);
    EXPECT_EQ(files.RemoveFile(u"a/b/f"), kResultFail);
    EXPECT_EQ(files.RemoveFolder(u"a/b"), kResultOk);
    EXPECT_EQ(files.IsDirectory(u"a\\b"), kResultFail);
    // A literal path works: the caller's text is never written to.
    const char16_t* const literal = u"a/c";
    EXPECT_EQ(files.CreateFolder(literal), kResultOk);
    EXPECT_EQ(std::u16string(literal), u"a/c");
}

TEST(FileSystemTest, CopyAndMoveIgnoreTheBaseDirectory) {
    Sandbox box;
    ASSERT_TRUE(box.write("src.txt", "root"));
    ASSERT_TRUE(box.write("sub/src.txt", "sub"));
    FileSystem files;
    ASSERT_EQ(files.SetBaseDirectory(u"\\sub"), kResultOk);
    ASSERT_EQ(files.CopyFileTo(u"src.txt", u"copy.txt", TRUE), kResultOk);
    EXPECT_EQ(box.read("copy.txt"), "root");
    EXPECT_FALSE(box.read("sub/copy.txt").has_value());
    EXPECT_EQ(files.CopyFileTo(u"src.txt", u"copy.txt", TRUE), kResultFail);
    ASSERT_EQ(files.MoveFileTo(u"copy.txt", u"moved.txt"), kResultOk);
    EXPECT_EQ(box.read("moved.txt"), "root");
    EXPECT_FALSE(box.read("copy.txt").has_value());
}

TEST(FileSystemTest, FileStreamsItHandsOut) {
    Sandbox box;
    ASSERT_TRUE(box.write("dir/data", "payload"));
    FileSystem files;
    ASSERT_EQ(files.SetBaseDirectory(u"\\dir"), kResultOk);
    FileStream* stream = nullptr;
    EXPECT_EQ(files.OpenFileStream(u"missing", &stream, FALSE), kResultFail);
    EXPECT_EQ(stream, nullptr);
    EXPECT_FALSE(box.read("dir/missing").has_value());
    ASSERT_EQ(files.OpenFileStream(u"data", &stream, TRUE), kResultOk);
    ASSERT_NE(stream, nullptr);
    uint64_t size = 0;
    ASSERT_EQ(stream->GetSize(&size), kResultOk);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(files.CloseFileStream(&stream), kResultOk);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(files.CloseFileStream(&stream), kResultNo);
    EXPECT_EQ(files.CloseFileStream(nullptr), kResultNo);
}

} // namespace

TEST(DevicePathTest, WhatThePathTextSays) {
    const struct {
        const char16_t* path;
        const char16_t* last;
        bool endsWithSeparator;
        bool namesDrive;
        const char16_t* deviceForm; // with PathUseDeviceSeparators
    } cases[] = {
        {u"", u"", false, false, u""},
        {u"\\", u"", true, false, u"\\"},
        {u"name.bin", u"name.bin", false, false, u"name.bin"},
        {u"\\dir\\", u"", true, false, u"\\dir\\"},
        {u"dir/", u"", true, false, u"dir\\"},
        {u"\\dir/sub\\file.bin", u"file.bin", false, false, u"\\dir\\sub\\file.bin"},
        {u"/../up.bin", u"up.bin", false, false, u"\\..\\up.bin"},
        {u"C:\\dir\\f.bin", u"f.bin", false, true, u"C:\\dir\\f.bin"},
        {u"z:/f", u"f", false, true, u"z:\\f"},
        {u"1:\\f", u"f", false, false, u"1:\\f"},
        {u"\\C:\\", u"", true, false, u"\\C:\\"},
        {u"C", u"C", false, false, u"C"},
    };
    for (const auto& c : cases) {
        const std::u16string path(c.path);
        EXPECT_EQ(std::u16string(PathLastComponent(c.path)), c.last) << path.size();
        EXPECT_EQ(PathEndsWithSeparator(c.path), c.endsWithSeparator) << path.size();
        EXPECT_EQ(PathNamesDrive(c.path), c.namesDrive) << path.size();
        std::u16string device = path;
        PathUseDeviceSeparators(device.data());
        EXPECT_EQ(device, c.deviceForm);
    }
}

// A relative or empty path is joined to the current directory: the root of a sandboxed
// device, the shell's directory otherwise; absolute paths, drives and paths too long for the
// buffer are left as they are.
TEST(DevicePathTest, RelativePathsAreTakenFromTheCurrentDirectory) {
    qb::test::TempDir here("qb-cwd");
    ASSERT_TRUE(here.valid());
    char* before = getcwd(nullptr, 0);
    ASSERT_NE(before, nullptr);
    ASSERT_EQ(chdir(here.path().c_str()), 0);
    std::u16string cwd;
    for (const char unit : here.path()) cwd += unit == '/' ? u'\\' : char16_t(unit);

    constexpr DWORD kCapacity = 64;
    const std::u16string sixtyThree(63, u'n');
    const struct {
        bool sandboxed;
        std::u16string path;
        std::optional<std::u16string> joined; // nullopt: refused, path unchanged
    } cases[] = {
        {true, u"", u"\\"},
        {true, u"dir\\f.bin", u"\\dir\\f.bin"},
        {true, u"\\dir\\f.bin", u"\\dir\\f.bin"},
        {true, u"C:\\f.bin", u"C:\\f.bin"},
        {true, sixtyThree.substr(0, 62), u"\\" + sixtyThree.substr(0, 62)},
        {true, sixtyThree, std::nullopt},
        {false, u"", cwd + u"\\"},
        {false, u"sub\\f.bin", cwd + u"\\sub\\f.bin"},
        {false, u"..\\f.bin", cwd + u"\\..\\f.bin"},
        {false, u"\\f.bin", u"\\f.bin"},
        {false, sixtyThree.substr(0, 50), std::nullopt},
    };
    for (const auto& c : cases) {
        ScopedEnv env;
        env.set("QUILLBROOK_ROOT", c.sandboxed ? here.path().c_str() : nullptr);
        std::u16string buffer = c.path;
        buffer.resize(kCapacity, u'\0');
        const bool joined = PathFromCurrentDirectory(buffer.data(), kCapacity);
        EXPECT_EQ(joined, c.joined.has_value()) << c.sandboxed << " " << c.path.size();
        EXPECT_EQ(std::u16string(buffer.c_str()), c.joined.value_or(c.path)) << c.path.size();
    }
    EXPECT_EQ(chdir(before), 0);
    std::free(before);
}
