// Directory enumeration and the whole-file operations.
#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "sandbox.h"

namespace {

std::vector<std::u16string> find(const char16_t* pattern, DWORD* error = nullptr) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(pattern, &data);
    if (search == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return names;
    }
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileW(search, &data));
    EXPECT_EQ(DWORD(ERROR_NO_MORE_FILES), GetLastError());
    EXPECT_TRUE(FindClose(search));
    return names;
}

class DirectoriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        sandbox_.makeDirectory("d");
        for (const char* name :
             {"a.txt", "b.TXT", "readme", "data.tar.gz", "ab", "abc", "日本.txt"}) {
            sandbox_.writeFile(std::string("d/") + name, name);
        }
        sandbox_.makeDirectory("d/sub");
        sandbox_.makeDirectory("empty");
    }
    Sandbox sandbox_;
};

TEST_F(DirectoriesTest, PatternsFollowWindowsRules) {
    using Names = std::vector<std::u16string>;
    const Names all = {u"a.txt",       u"ab",     u"abc", u"b.TXT",
                       u"data.tar.gz", u"readme", u"sub", u"日本.txt"};
    struct Case {
        const char16_t* pattern;
        Names expected;
    };
    const Case cases[] = {
        {u"\\d\\*", all},
        {u"/d/*.*", all},
        {u"d\\*.txt", {u"a.txt", u"日本.txt"}}, // exact case, as the disk stores names
        {u"\\d\\*.", {u"ab", u"abc", u"readme", u"sub"}},
        {u"\\d\\a?", {u"ab"}},
        {u"\\d\\a??", {u"ab", u"abc"}}, // trailing "?" may match nothing
        {u"\\d\\?.txt", {u"a.txt"}},
        {u"\\d\\readme.*", {u"readme"}},
        {u"\\d\\*.gz", {u"data.tar.gz"}},
        {u"\\d\\*a*", {u"a.txt", u"ab", u"abc", u"data.tar.gz", u"readme"}},
        {u"\\d\\a?c", {u"abc"}},
        {u"\\d\\abc", {u"abc"}},
        {u"\\d\\sub", {u"sub"}},
        {u"\\d\\.", {u"."}},
        {u"\\d\\sub\\..", {u".."}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, find(c.pattern)) << testing::PrintToString(std::u16string(c.pattern));
    }
}

TEST_F(DirectoriesTest, NoMatchAndMissingDirectory) {
    struct Case {
        const char16_t* pattern;
        DWORD error;
    };
    const Case cases[] = {
        {u"\\empty\\*", ERROR_FILE_NOT_FOUND}, // "." and ".." are not entries
        {u"\\d\\nomatch*", ERROR_FILE_NOT_FOUND}, {u"\\d\\missing", ERROR_FILE_NOT_FOUND},
        {u"\\nodir\\*", ERROR_PATH_NOT_FOUND},    {u"\\d\\a.txt\\*", ERROR_PATH_NOT_FOUND},
        {u"\\d\\", ERROR_FILE_NOT_FOUND},         {u"", ERROR_PATH_NOT_FOUND},
        {u"\\d\\a|b*", ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        DWORD error = 0;
        EXPECT_TRUE(find(c.pattern, &error).empty());
        EXPECT_EQ(c.error, error) << testing::PrintToString(std::u16string(c.pattern));
    }
}

TEST_F(DirectoriesTest, EntriesCarryKindAndSize) {
    ASSERT_EQ(0, truncate(sandbox_.host("d/ab").c_str(), 0x100000005LL)) << "sparse file";
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(u"\\d\\*", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    do {
        const std::u16string name = data.cFileName;
        if (name == u"sub") {
            EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), data.dwFileAttributes);
        } else {
            EXPECT_EQ(0u, data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        }
        if (name == u"ab") {
            EXPECT_EQ(1u, data.nFileSizeHigh);
            EXPECT_EQ(5u, data.nFileSizeLow);
        }
        if (name == u"a.txt") {
            EXPECT_EQ(0u, data.nFileSizeHigh);
            EXPECT_EQ(5u, data.nFileSizeLow);
            EXPECT_NE(0u, data.ftLastWriteTime.dwHighDateTime);
        }
    } while (FindNextFileW(search, &data));
    EXPECT_TRUE(FindClose(search));
    EXPECT_FALSE(FindClose(search));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(FindNextFileW(search, &data));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(u"\\d\\*", nullptr));
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(nullptr, &data));
}

// A file dated after January 2038 (a board's clock set wrong, an unpacked archive): with a
// 32-bit time_t stat refused the whole file, so it could be neither opened nor listed.
TEST_F(DirectoriesTest, FileDatedAfter2038) {
    constexpr int64_t kUnix2040 = 2208988800; // 2040-01-01 00:00:00 UTC
    constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
    constexpr uint64_t kTicks = uint64_t(kUnix2040 + kSecondsFrom1601To1970) * 10000000;
    const struct timespec times[2] = {{time_t(kUnix2040), 0}, {time_t(kUnix2040), 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, sandbox_.host("d/a.txt").c_str(), times, 0));

    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_NORMAL), GetFileAttributesW(u"\\d\\a.txt"));
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(u"\\d\\a.txt", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_EQ(DWORD(kTicks), data.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(DWORD(kTicks >> 32), data.ftLastWriteTime.dwHighDateTime);
    EXPECT_TRUE(FindClose(search));
    HANDLE file = CreateFileW(u"\\d\\a.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(5u, GetFileSize(file, nullptr));
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(DirectoriesTest, CreateAndRemoveDirectories) {
    EXPECT_TRUE(CreateDirectoryW(u"\\new", nullptr));
    EXPECT_FALSE(CreateDirectoryW(u"\\new", nullptr));
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_FALSE(CreateDirectoryW(u"\\none\\deeper", nullptr)); // one level only
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_FALSE(RemoveDirectoryW(u"\\d"));
    EXPECT_EQ(DWORD(ERROR_DIR_NOT_EMPTY), GetLastError());
    EXPECT_FALSE(RemoveDirectoryW(u"\\d\\a.txt"));
    EXPECT_EQ(DWORD(ERROR_DIRECTORY), GetLastError());
    EXPECT_FALSE(RemoveDirectoryW(u"\\missing"));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_TRUE(RemoveDirectoryW(u"/new"));
    EXPECT_FALSE(sandbox_.exists("new"));
}

TEST_F(DirectoriesTest, DeleteFile) {
    EXPECT_TRUE(DeleteFileW(u"d/a.txt"));
    EXPECT_FALSE(sandbox_.exists("d/a.txt"));
    EXPECT_FALSE(DeleteFileW(u"d/a.txt"));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(DeleteFileW(u"nodir/a.txt"));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_FALSE(DeleteFileW(u"d/sub"));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_FALSE(DeleteFileW(nullptr));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(DirectoriesTest, CopyFile) {
    EXPECT_TRUE(CopyFileW(u"\\d\\abc", u"\\copy", TRUE));
    EXPECT_EQ("abc", sandbox_.readFile("copy"));
    EXPECT_FALSE(CopyFileW(u"\\d\\ab", u"\\copy", TRUE));
    EXPECT_EQ(DWORD(ERROR_FILE_EXISTS), GetLastError());
    EXPECT_EQ("abc", sandbox_.readFile("copy"));
    EXPECT_TRUE(CopyFileW(u"\\d\\ab", u"\\copy", FALSE));
    EXPECT_EQ("ab", sandbox_.readFile("copy"));
    EXPECT_FALSE(CopyFileW(u"\\d\\abc", u"/d/abc", FALSE)); // onto itself
    EXPECT_EQ("abc", sandbox_.readFile("d/abc"));
    EXPECT_FALSE(CopyFileW(u"\\d\\missing", u"\\copy2", FALSE));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(sandbox_.exists("copy2"));
}

TEST_F(DirectoriesTest, MoveFile) {
    EXPECT_TRUE(MoveFileW(u"\\d\\abc", u"\\moved"));
    EXPECT_EQ("abc", sandbox_.readFile("moved"));
    EXPECT_FALSE(sandbox_.exists("d/abc"));
    EXPECT_FALSE(MoveFileW(u"\\d\\ab", u"\\moved"));
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ("abc", sandbox_.readFile("moved"));
    EXPECT_EQ("ab", sandbox_.readFile("d/ab"));
    EXPECT_TRUE(MoveFileW(u"\\d\\sub", u"\\sub2")); // directories move too
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesW(u"\\sub2"));

    HANDLE held = CreateFileW(u"\\moved", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_FALSE(MoveFileW(u"\\moved", u"\\moved2"));
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    CloseHandle(held);
    EXPECT_FALSE(MoveFileW(u"\\missing", u"\\x"));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
}

} // namespace
