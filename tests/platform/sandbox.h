// A fresh directory that serves as the device's root (QUILLBROOK_ROOT) for one test, with
// helpers that look at the host side of what the Win32 calls did.
//
// Built for Windows (the conformance run under Wine, docs/windows.md) the root is the drive
// named by QB_TEST_DRIVE ("Q:"), kept for the tests alone: "\\name" there is what it is on
// the device, and a relative name is taken from that root as the current directory.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

#include <windows.h>

#include "scoped_env.h"

// Text in the Win32 calls' own units (char16_t here, wchar_t on Windows).
using WideText = std::basic_string<WCHAR>;

// Built for Windows, a case where Windows answers otherwise and the layer keeps its answer is
// left out there; each such case says why (docs/testing.md lists them).
#ifdef _WIN32
constexpr bool kOnWindows = true;
// Wine takes a name that begins with "/" as a path of its host (docs/windows.md).
#define QB_SLASH_ROOTED(rest) TEXT("\\") TEXT(rest)
#else
constexpr bool kOnWindows = false;
#define QB_SLASH_ROOTED(rest) TEXT("/") TEXT(rest)
#endif

class Sandbox {
public:
    Sandbox() {
#ifdef _WIN32
        const char* drive = std::getenv("QB_TEST_DRIVE");
        if (drive == nullptr || drive[0] == '\0') {
            ADD_FAILURE() << "QB_TEST_DRIVE names no drive for the tests";
            return;
        }
        root_ = drive;
        empty();
        EXPECT_TRUE(SetCurrentDirectoryA((root_ + "\\").c_str()));
#else
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/qb-platform-XXXXXX";
        char* made = mkdtemp(pattern.data());
        EXPECT_NE(made, nullptr);
        root_ = pattern;
        env_.set("QUILLBROOK_ROOT", root_.c_str());
#endif
    }
    ~Sandbox() {
#ifdef _WIN32
        empty();
#else
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
#endif
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& root() const {
        return root_;
    }
    std::string host(const std::string& relative) const {
        return root_ + "/" + relative;
    }
    ScopedEnv& env() {
        return env_;
    }

    void writeFile(const std::string& relative, const std::string& content) const {
        std::ofstream(hostPath(relative), std::ios::binary) << content;
    }
    std::string readFile(const std::string& relative) const {
        std::ifstream in(hostPath(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool exists(const std::string& relative) const {
        return std::filesystem::exists(std::filesystem::symlink_status(hostPath(relative)));
    }
    void makeDirectory(const std::string& relative) const {
        std::filesystem::create_directories(hostPath(relative));
    }
    // The host path of a UTF-8 name (on Windows a narrow name would be in the ANSI code page).
    std::filesystem::path hostPath(const std::string& relative) const {
        const std::string whole = host(relative);
        return std::filesystem::path(
            std::u8string(reinterpret_cast<const char8_t*>(whole.data()), whole.size()));
    }

private:
#ifdef _WIN32
    // The drive outlives each test: what a test left there goes, the drive stays.
    void empty() const {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(root_ + "/", ignored)) {
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }
#endif

    ScopedEnv env_;
    std::string root_;
};
