// A fresh directory that serves as the device's root (QUILLBROOK_ROOT) for one test, with
// helpers that look at the host side of what the Win32 calls did.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

#include "scoped_env.h"

class Sandbox {
public:
    Sandbox() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/qb-platform-XXXXXX";
        char* made = mkdtemp(pattern.data());
        EXPECT_NE(made, nullptr);
        root_ = pattern;
        env_.set("QUILLBROOK_ROOT", root_.c_str());
    }
    ~Sandbox() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& root() const { return root_; }
    std::string host(const std::string& relative) const { return root_ + "/" + relative; }
    ScopedEnv& env() { return env_; }

    void writeFile(const std::string& relative, const std::string& content) const {
        std::ofstream(host(relative), std::ios::binary) << content;
    }
    std::string readFile(const std::string& relative) const {
        std::ifstream in(host(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool exists(const std::string& relative) const {
        return std::filesystem::exists(std::filesystem::symlink_status(host(relative)));
    }
    void makeDirectory(const std::string& relative) const {
        std::filesystem::create_directories(host(relative));
    }

private:
    ScopedEnv env_;
    std::string root_;
};
