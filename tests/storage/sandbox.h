// A sandbox device for storage tests: QUILLBROOK_ROOT points at a fresh TempDir for the
// test's lifetime, so device paths like "\dir\file" land in it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tests/platform/scoped_env.h"
#include "tests/support/temp_dir.h"

class Sandbox {
public:
    Sandbox() : dir_("qb-storage") { env_.set("QUILLBROOK_ROOT", dir_.path().c_str()); }

    bool valid() const { return dir_.valid(); }
    // The host path of a root-relative name written with "/".
    std::string host(std::string_view relative) const { return dir_.file(relative); }
    bool write(std::string_view relative, std::string_view bytes) const {
        return dir_.write(relative, bytes);
    }
    std::optional<std::string> read(std::string_view relative) const { return dir_.read(relative); }
    bool makeFolder(std::string_view relative) const {
        return qb::test::makeDirectories(dir_.file(relative));
    }

private:
    qb::test::TempDir dir_;
    ScopedEnv env_;
};
