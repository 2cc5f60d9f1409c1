// Device paths as the file functions see them: separators, the root, QUILLBROOK_ROOT,
// "\My Documents", Japanese names, names Windows refuses, and GetModuleFileNameW.
#include <climits>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "sandbox.h"
#include "tests/support/text_cases.h"

namespace {

bool createFile(const char16_t* path, const std::string& content = "") {
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    const BOOL ok = WriteFile(file, content.data(), DWORD(content.size()), &put, nullptr);
    CloseHandle(file);
    return ok;
}

bool opens(const char16_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

std::string executableHostPath() {
    char buffer[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, size_t(length)) : std::string();
}

std::u16string asDevicePath(const std::string& hostTail) {
    std::u16string out;
    for (char c : hostTail)
        out.push_back(c == '/' ? u'\\' : char16_t(static_cast<unsigned char>(c)));
    return out;
}

TEST(PathsTest, EitherSeparatorAndRelativePathsReachTheSameFile) {
    Sandbox sandbox;
    sandbox.makeDirectory("dir/sub");
    ASSERT_TRUE(createFile(u"\\dir\\sub\\a.txt", "A"));
    EXPECT_EQ("A", sandbox.readFile("dir/sub/a.txt"));
    for (const char16_t* spelling :
         {u"/dir/sub/a.txt", u"dir/sub/a.txt", u"dir\\sub/a.txt", u"\\\\dir//sub\\a.txt",
          u"\\dir\\.\\sub\\..\\sub\\a.txt", u"dir\\sub\\a.txt\\"}) {
        EXPECT_TRUE(opens(spelling)) << testing::PrintToString(std::u16string(spelling));
    }
}

TEST(PathsTest, DotDotNeverLeavesTheRoot) {
    Sandbox sandbox;
    ASSERT_TRUE(createFile(u"\\..\\..\\escape.txt", "kept inside"));
    EXPECT_EQ("kept inside", sandbox.readFile("escape.txt"));
}

TEST(PathsTest, JapaneseNamesAreUtf8OnDisk) {
    Sandbox sandbox;
    ASSERT_TRUE(CreateDirectoryW(u"\\日本語フォルダ", nullptr));
    ASSERT_TRUE(createFile(u"\\日本語フォルダ\\ファイル名.txt", "中身"));
    EXPECT_EQ("中身", sandbox.readFile("日本語フォルダ/ファイル名.txt"));
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(u"/日本語フォルダ/*.txt", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_EQ(std::u16string(u"ファイル名.txt"), data.cFileName);
    FindClose(search);
}

TEST(PathsTest, MyDocumentsUnderTheSandboxRoot) {
    Sandbox sandbox;
    EXPECT_FALSE(sandbox.exists("My Documents"));
    ASSERT_TRUE(createFile(u"\\My Documents\\report.txt", "r"));
    EXPECT_EQ("r", sandbox.readFile("My Documents/report.txt"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesW(u"\\My Documents"));
}

TEST(PathsTest, MyDocumentsIsTheUsersDocumentsFolderWhenTheRootIsSlash) {
    Sandbox scratch; // only a place for the home and documents folders of this test
    ScopedEnv env;
    env.set("QUILLBROOK_ROOT", nullptr);
    env.set("HOME", scratch.root().c_str());
    env.set("XDG_CONFIG_HOME", (scratch.root() + "/config").c_str());

    env.set("XDG_DOCUMENTS_DIR", (scratch.root() + "/xdg docs").c_str());
    ASSERT_TRUE(createFile(u"\\My Documents\\one.txt", "1"));
    EXPECT_EQ("1", scratch.readFile("xdg docs/one.txt"));

    env.set("XDG_DOCUMENTS_DIR", nullptr);
    scratch.makeDirectory("config");
    scratch.writeFile("config/user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                               "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    ASSERT_TRUE(createFile(u"\\My Documents\\two.txt", "2"));
    EXPECT_EQ("2", scratch.readFile("Dokumente/two.txt"));

    std::filesystem::remove(scratch.host("config/user-dirs.dirs"));
    ASSERT_TRUE(createFile(u"/My Documents/three.txt", "3"));
    EXPECT_EQ("3", scratch.readFile("Documents/three.txt"));

    // Any other absolute path is the Linux path itself.
    const std::string tail = scratch.root() + "/plain.txt";
    ASSERT_TRUE(createFile(asDevicePath(tail).c_str(), "p"));
    EXPECT_EQ("p", scratch.readFile("plain.txt"));
}

TEST(PathsTest, NamesWindowsRefusesFailWithInvalidName) {
    Sandbox sandbox;
    std::vector<std::u16string> cases = {u"a<b",
                                         u"a>b",
                                         u"c:\\x",
                                         u"a\"b",
                                         u"a|b",
                                         u"a\x01"
                                         "b",
                                         u"a*b",
                                         u"what?"};
    for (const qb::test::Utf16Case& c : qb::test::kUtf16Cases) {
        if (!c.wellFormed) cases.push_back(u"bad" + std::u16string(c.utf16) + u"name");
    }
    for (const std::u16string& name : cases) {
        SetLastError(0);
        EXPECT_FALSE(createFile(name.c_str())) << testing::PrintToString(name);
        EXPECT_EQ(DWORD(ERROR_INVALID_NAME), GetLastError()) << testing::PrintToString(name);
        EXPECT_FALSE(CreateDirectoryW(name.c_str(), nullptr));
        EXPECT_EQ(DWORD(ERROR_INVALID_NAME), GetLastError());
    }
    const std::u16string tooLong(40000, u'a');
    EXPECT_FALSE(createFile(tooLong.c_str()));
    EXPECT_EQ(DWORD(ERROR_FILENAME_EXCED_RANGE), GetLastError());
    const std::u16string longName(300, u'n'); // a component longer than the disk allows
    EXPECT_FALSE(createFile(longName.c_str()));
    EXPECT_EQ(DWORD(ERROR_FILENAME_EXCED_RANGE), GetLastError());
}

TEST(PathsTest, ModuleFileNameIsTheProgramAsADevicePath) {
    const std::string host = executableHostPath();
    ASSERT_FALSE(host.empty());
    const size_t slash = host.find_last_of('/');
    WCHAR name[MAX_PATH * 4];

    {
        ScopedEnv env;
        env.set("QUILLBROOK_ROOT", nullptr);
        const DWORD length = GetModuleFileNameW(nullptr, name, DWORD(std::size(name)));
        EXPECT_EQ(asDevicePath(host), std::u16string(name, length));
    }
    {
        // With the root at the program's folder, the program is "\" and its name.
        ScopedEnv env;
        env.set("QUILLBROOK_ROOT", host.substr(0, slash).c_str());
        const DWORD length = GetModuleFileNameW(nullptr, name, DWORD(std::size(name)));
        EXPECT_EQ(asDevicePath(host.substr(slash)), std::u16string(name, length));

        WCHAR small[4];
        SetLastError(0);
        EXPECT_EQ(4u, GetModuleFileNameW(nullptr, small, 4));
        EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
        EXPECT_EQ(asDevicePath(host.substr(slash, 3)), std::u16string(small));
        EXPECT_EQ(0u, GetModuleFileNameW(nullptr, small, 0));
        EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
        EXPECT_EQ(0u, GetModuleFileNameW(nullptr, nullptr, 10));
        EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    }
    {
        // A program outside the sandbox has no device path.
        Sandbox sandbox;
        name[0] = u'x';
        EXPECT_EQ(0u, GetModuleFileNameW(nullptr, name, DWORD(std::size(name))));
        EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());
        EXPECT_EQ(0, name[0]);
    }
}

// The environment as Win32 hands it out: UTF-8 values as UTF-16, the size a short buffer
// needs, and an unset variable told apart from an empty one.
TEST(PathsTest, EnvironmentVariablesFollowTheWin32Contract) {
    ScopedEnv env;
    env.set("QB_ENV_TEST", "http://\xc3\xa6\xe4\xbe\x8b:8080/");
    env.set("QB_ENV_EMPTY", "");
    env.set("QB_ENV_UNSET", nullptr);
    WCHAR value[64];
    struct Case {
        const char16_t* name;
        DWORD size;
        DWORD result;
        DWORD error; // the last error after the call (preset to 0xABCD)
        std::u16string value;
    };
    const Case cases[] = {
        {u"QB_ENV_TEST", 64, 15, 0xABCD, u"http://\u00e6\u4f8b:8080/"},
        {u"QB_ENV_TEST", 16, 15, 0xABCD, u"http://\u00e6\u4f8b:8080/"},
        {u"QB_ENV_TEST", 15, 16, 0xABCD, u""}, // no room for the terminator: nothing copied
        {u"QB_ENV_TEST", 0, 16, 0xABCD, u"<untouched>"},
        {u"QB_ENV_EMPTY", 64, 0, 0xABCD, u""},
        {u"QB_ENV_UNSET", 64, 0, DWORD(ERROR_ENVVAR_NOT_FOUND), u""},
        {u"QB_ENV_TEST=x", 64, 0, DWORD(ERROR_ENVVAR_NOT_FOUND), u""},
        {u"", 64, 0, DWORD(ERROR_INVALID_PARAMETER), u"<untouched>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)) +
                     " size " + std::to_string(c.size));
        const std::u16string untouched = u"<untouched>";
        untouched.copy(value, untouched.size());
        value[untouched.size()] = 0;
        SetLastError(0xABCD);
        EXPECT_EQ(c.result, GetEnvironmentVariableW(c.name, value, c.size));
        EXPECT_EQ(c.error, GetLastError());
        EXPECT_EQ(c.value, std::u16string(value));
    }
    // Only the size question may come without a buffer.
    EXPECT_EQ(16u, GetEnvironmentVariableW(u"QB_ENV_TEST", nullptr, 0));
    EXPECT_EQ(0u, GetEnvironmentVariableW(u"QB_ENV_TEST", nullptr, 4));
    EXPECT_EQ(0u, GetEnvironmentVariableW(nullptr, value, 64));
}

} // namespace
