// Small writes that a handle may keep back: every way of looking at the file sees them, the
// order of writes and seeks holds, and a failure to store them is reported by the call that
// finds it, never passed over as success.
#include <functional>
#include <string>
#include <sys/resource.h>
#include <thread>

#include <gtest/gtest.h>
#include <windows.h>

#include "sandbox.h"
#include "tests/support/file_size_limit.h"

namespace {

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Far larger than anything a handle keeps back: such a write goes to the file at once.
constexpr size_t kLargeWrite = 4 * 1024 * 1024;
constexpr rlim_t kFileSizeLimit = 1000;

HANDLE openFile(const char16_t* path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool writeText(HANDLE file, const std::string& text) {
    DWORD put = 0;
    return WriteFile(file, text.data(), DWORD(text.size()), &put, nullptr) && put == text.size();
}

std::string readFrom(HANDLE file, DWORD offset) {
    std::string data(256, '\0');
    DWORD got = 0;
    EXPECT_EQ(offset, SetFilePointer(file, LONG(offset), nullptr, FILE_BEGIN));
    EXPECT_TRUE(ReadFile(file, data.data(), DWORD(data.size()), &got, nullptr));
    data.resize(got);
    return data;
}

bool isDiskFull(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

using qb::test::FileSizeLimit;

class WriteBehindTest : public ::testing::Test {
public:
    std::string hostFile(const std::string& name) const { return sandbox_.readFile(name); }

protected:
    Sandbox sandbox_;
};

TEST_F(WriteBehindTest, EveryViewOfTheFileSeesSmallWrites) {
    struct Case {
        const char* view;
        // Looks at "log" (written "abc" then "def" through writer) and returns what it saw.
        std::function<std::string(WriteBehindTest&, HANDLE writer, HANDLE earlierReader)> look;
    };
    const Case cases[] = {
        {"size on the writing handle",
         [](WriteBehindTest&, HANDLE writer, HANDLE) {
             DWORD high = 0;
             return std::to_string(GetFileSize(writer, &high));
         }},
        {"seek to the end",
         [](WriteBehindTest&, HANDLE writer, HANDLE) {
             return std::to_string(SetFilePointer(writer, 0, nullptr, FILE_END));
         }},
        {"read through the writing handle",
         [](WriteBehindTest&, HANDLE writer, HANDLE) { return readFrom(writer, 0); }},
        {"a handle opened afterwards",
         [](WriteBehindTest&, HANDLE, HANDLE) {
             HANDLE reader = openFile(u"log", GENERIC_READ, kShareAll, OPEN_EXISTING);
             const std::string seen = readFrom(reader, 0);
             CloseHandle(reader);
             return seen;
         }},
        {"a handle opened before the writes",
         [](WriteBehindTest&, HANDLE, HANDLE earlier) { return readFrom(earlier, 0); }},
        {"size through a handle opened before",
         [](WriteBehindTest&, HANDLE, HANDLE earlier) {
             return std::to_string(GetFileSize(earlier, nullptr));
         }},
        {"the host file after FlushFileBuffers",
         [](WriteBehindTest& test, HANDLE writer, HANDLE) {
             EXPECT_TRUE(FlushFileBuffers(writer));
             return test.hostFile("log");
         }},
        {"the host file after CloseHandle",
         [](WriteBehindTest& test, HANDLE writer, HANDLE) {
             EXPECT_TRUE(CloseHandle(writer));
             return test.hostFile("log");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.view);
        HANDLE writer = openFile(u"log", kReadWrite, kShareAll, CREATE_ALWAYS);
        ASSERT_NE(INVALID_HANDLE_VALUE, writer);
        HANDLE earlier = openFile(u"log", GENERIC_READ, kShareAll, OPEN_EXISTING);
        ASSERT_NE(INVALID_HANDLE_VALUE, earlier);
        ASSERT_TRUE(writeText(writer, "abc"));
        ASSERT_TRUE(writeText(writer, "def"));
        const std::string seen = c.look(*this, writer, earlier);
        EXPECT_TRUE(seen == "abcdef" || seen == "6") << seen;
        CloseHandle(earlier);
        CloseHandle(writer); // fails harmlessly after the CloseHandle case
    }
}

TEST_F(WriteBehindTest, WritesAndSeeksKeepTheirOrder) {
    HANDLE file = openFile(u"order", kReadWrite, 0, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(writeText(file, "hello world"));
    DWORD put = 99;
    EXPECT_TRUE(WriteFile(file, nullptr, 0, &put, nullptr)); // an empty write changes nothing
    EXPECT_EQ(0u, put);
    EXPECT_EQ(11u, SetFilePointer(file, 0, nullptr, FILE_CURRENT));
    EXPECT_EQ(0u, SetFilePointer(file, 0, nullptr, FILE_BEGIN));
    ASSERT_TRUE(writeText(file, "J"));
    EXPECT_EQ(6u, SetFilePointer(file, 6, nullptr, FILE_BEGIN));
    ASSERT_TRUE(writeText(file, "W"));
    ASSERT_TRUE(writeText(file, std::string(kLargeWrite, 'L'))); // straight after the held bytes
    ASSERT_TRUE(writeText(file, "!"));
    EXPECT_EQ("Jello WLLL", readFrom(file, 0).substr(0, 10));
    EXPECT_EQ(7 + kLargeWrite + 1, GetFileSize(file, nullptr));
    EXPECT_EQ("L!", readFrom(file, DWORD(7 + kLargeWrite - 1)));
    EXPECT_EQ(5u, SetFilePointer(file, 5, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file)); // the held "!" lands before the cut
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_EQ("Jello", sandbox_.readFile("order"));
}

TEST_F(WriteBehindTest, ALargeWriteBeyondTheSizeLimitFailsWithWhatItWrote) {
    HANDLE file = openFile(u"limited", kReadWrite, 0, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const std::string data(kLargeWrite, 'z');
    DWORD put = 0;
    BOOL written = TRUE;
    DWORD error = 0;
    {
        FileSizeLimit limit(kFileSizeLimit);
        written = WriteFile(file, data.data(), DWORD(data.size()), &put, nullptr);
        error = GetLastError();
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(kFileSizeLimit, put);
    EXPECT_TRUE(isDiskFull(error)) << error;
    EXPECT_TRUE(CloseHandle(file));
}

// Small writes succeed while held back; the call that has to store them past the size
// limit fails with a disk-full error, the file holds what fitted, and the failure is
// reported once.
TEST_F(WriteBehindTest, HeldBytesThatCantBeStoredFailTheCallThatStoresThem) {
    constexpr size_t kPiece = 100;
    constexpr int kHeldPieces = 12; // past the limit, far below what a handle may hold
    struct Case {
        const char* call;
        std::function<BOOL(HANDLE)> store; // the call that has to store the held bytes
    };
    const Case cases[] = {
        {"FlushFileBuffers", [](HANDLE f) { return FlushFileBuffers(f); }},
        {"CloseHandle", [](HANDLE f) { return CloseHandle(f); }},
        {"GetFileSize",
         [](HANDLE f) { return BOOL(GetFileSize(f, nullptr) != INVALID_FILE_SIZE); }},
        {"SetFilePointer",
         [](HANDLE f) { return BOOL(SetFilePointer(f, 0, nullptr, FILE_BEGIN) == 0); }},
        {"ReadFile",
         [](HANDLE f) {
             char byte;
             DWORD got = 0;
             return ReadFile(f, &byte, 1, &got, nullptr);
         }},
        {"a large WriteFile",
         [](HANDLE f) {
             const std::string large(kLargeWrite, 'L');
             DWORD put = 99;
             const BOOL ok = WriteFile(f, large.data(), DWORD(large.size()), &put, nullptr);
             EXPECT_EQ(0u, put);
             return ok;
         }},
        {"a second handle's open",
         [](HANDLE f) {
             // The writer's bytes are stored for the new handle; the writer learns of the
             // failure at its next call.
             HANDLE reader = openFile(u"limited", GENERIC_READ, kShareAll, OPEN_EXISTING);
             EXPECT_NE(INVALID_HANDLE_VALUE, reader);
             CloseHandle(reader);
             DWORD put = 99;
             const BOOL ok = WriteFile(f, "x", 1, &put, nullptr);
             EXPECT_EQ(0u, put);
             return ok;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        HANDLE file = openFile(u"limited", kReadWrite, kShareAll, CREATE_ALWAYS);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        BOOL stored = TRUE;
        DWORD error = 0;
        {
            FileSizeLimit limit(kFileSizeLimit);
            for (int i = 0; i < kHeldPieces; ++i) {
                ASSERT_TRUE(writeText(file, std::string(kPiece, char('a' + i))));
            }
            SetLastError(0);
            stored = c.store(file);
            error = GetLastError();
        }
        EXPECT_FALSE(stored);
        EXPECT_TRUE(isDiskFull(error)) << error;
        EXPECT_EQ(kFileSizeLimit, sandbox_.readFile("limited").size());
        // Reported once: the handle goes on (or is gone) without a second failure.
        if (std::string(c.call) != "CloseHandle") {
            EXPECT_TRUE(CloseHandle(file));
        }
    }
}

TEST_F(WriteBehindTest, AWriteThatFillsTheHeldBytesFailsWhenStoringThemFails) {
    HANDLE file = openFile(u"limited", kReadWrite, 0, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const std::string piece(128, 'p');
    size_t accepted = 0;
    DWORD put = 0;
    BOOL written = TRUE;
    DWORD error = 0;
    {
        FileSizeLimit limit(kFileSizeLimit);
        while (accepted < kLargeWrite) {
            written = WriteFile(file, piece.data(), DWORD(piece.size()), &put, nullptr);
            if (!written) break;
            EXPECT_EQ(piece.size(), put);
            accepted += put;
        }
        error = GetLastError();
    }
    ASSERT_FALSE(written) << "every write passed, " << accepted << " bytes";
    EXPECT_GT(accepted, size_t(kFileSizeLimit)); // the earlier writes were held back
    EXPECT_EQ(0u, put);
    EXPECT_TRUE(isDiskFull(error)) << error;
    EXPECT_EQ(kFileSizeLimit, sandbox_.readFile("limited").size());
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(WriteBehindTest, HeldBytesReachTheFileWhenTheProcessExits) {
    EXPECT_EXIT(
        {
            HANDLE file = openFile(u"at-exit", kReadWrite, 0, CREATE_ALWAYS);
            writeText(file, "kept");
            std::exit(file == INVALID_HANDLE_VALUE ? 1 : 0); // no CloseHandle
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ("kept", sandbox_.readFile("at-exit"));
}

// The thread that wrote last keeps the handle's object for its next call; a CloseHandle on
// another thread still stores the held bytes, lets the file go (an exclusive open works at
// once) and closes the handle for the writing thread too.
TEST_F(WriteBehindTest, AHandleClosedOnAnotherThreadIsClosedForTheThreadThatWrote) {
    HANDLE file = openFile(u"closed-elsewhere", kReadWrite, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(writeText(file, "held"));
    BOOL closed = FALSE;
    std::thread([&] { closed = CloseHandle(file); }).join();
    EXPECT_TRUE(closed);
    EXPECT_EQ("held", hostFile("closed-elsewhere"));
    HANDLE again = openFile(u"closed-elsewhere", kReadWrite, 0, OPEN_EXISTING);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
    DWORD put = 0;
    EXPECT_FALSE(WriteFile(file, "x", 1, &put, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_FALSE(CloseHandle(file));
}

} // namespace
