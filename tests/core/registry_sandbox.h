// A private registry file for one test: QUILLBROOK_REGISTRY points into a fresh TempDir.
#pragma once

#include <optional>
#include <string>

#include "tests/platform/scoped_env.h"
#include "tests/support/temp_dir.h"

class RegistrySandbox {
public:
    RegistrySandbox() : dir_("qb-app") {
        env_.set("QUILLBROOK_REGISTRY", dir_.file("registry.reg").c_str());
    }
    bool valid() const { return dir_.valid(); }
    std::optional<std::string> contents() const { return dir_.read("registry.reg"); }
    // Writes the registry file with the settings key holding the given value lines.
    bool writeSettings(const std::string& valueLines) const {
        return dir_.write("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                                          "[HKEY_CURRENT_USER\\Software\\Vr\\Quillbrook]\r\n" +
                                              valueLines + "\r\n");
    }
    const qb::test::TempDir& dir() const { return dir_; }

private:
    qb::test::TempDir dir_;
    ScopedEnv env_;
};
