// The program in automatic mode with its window hidden, run as a process on a sandbox
// device: its own root folder (QUILLBROOK_ROOT) with the program installed inside it, so
// that the location it records in the registry is a device path, and its own registry file
// (QUILLBROOK_REGISTRY). Runs may be put under a fault first (qb_fault_launcher).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry_document.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace qb::faults {

// Exit codes as the shell sees them (a negative code is 256 + code).
constexpr int kExitDownloaded = 1;
constexpr int kExitResumed = 2;
constexpr int kExitWindowClosedEarly = 256 - 2;
constexpr int kExitWriteFailed = 256 - 5;
constexpr int kExitNetworkFailed = 256 - 6;

constexpr test::Millis kRunLimit{30000};

// A fault to start the program under.
struct Fault {
    std::optional<uint64_t> fileSizeLimit; // bytes any one file of the process may reach
    // With the limit: SIGXFSZ keeps its default action (as under "ulimit -f") instead of
    // being ignored (as on a full device, where a write just fails).
    bool keepFileSizeSignal = false;
    std::string user; // an account to run as instead of root
};

// Deterministic bytes of a body; seed tells bodies apart.
std::string Body(size_t size, unsigned seed = 0);

class ProgramSandbox {
public:
    explicit ProgramSandbox(std::string_view prefix = "qb-faults");

    // False when the folders or the installed program could not be made.
    bool valid() const { return valid_; }
    // Installs one more name of the program under the root ("\bin\NAME"); false on failure.
    bool InstallProgram(const std::string& name);
    // The device path a program installed as name records as its location.
    static std::u16string DevicePathOf(const std::string& name);

    const test::TempDir& dir() const { return dir_; }
    std::string Root() const { return dir_.file("root"); }
    // The host path of a device path written with "/" ("dir/f.bin").
    std::string Host(std::string_view devicePath) const;
    std::string RegistryPath() const { return dir_.file("registry.reg"); }
    std::optional<std::string> Read(std::string_view devicePath) const;
    bool Write(std::string_view devicePath, std::string_view bytes) const;

    // The program, its arguments and options for one hidden run of url into path.
    struct Launch {
        std::string program;
        std::vector<std::string> args;
        test::ProcessOptions options;
    };
    Launch Prepare(const std::string& url, const std::string& path = "/dir",
                   const std::vector<std::string>& extra = {}, const Fault& fault = {},
                   const std::string& programName = kProgramName) const;
    test::ProcessResult Run(const std::string& url, const std::string& path = "/dir",
                            const std::vector<std::string>& extra = {},
                            const Fault& fault = {}) const;
    bool Start(test::ChildProcess* child, const std::string& url, const std::string& path = "/dir",
               const std::vector<std::string>& extra = {},
               const std::string& programName = kProgramName) const;

    static constexpr const char* kProgramName = "quillbrook";

private:
    test::TempDir dir_;
    bool valid_ = false;
};

// The registry file as the platform reads it: the document and the number of lines that did
// not parse. Nothing when the file can't be read.
struct ParsedRegistry {
    registry::RegistryDocument document;
    size_t skippedLines = 0;
};
std::optional<ParsedRegistry> ParseRegistryFile(const std::string& path);

// A text (REG_SZ) or number (REG_DWORD) value of HKEY_CURRENT_USER\Software\Vr\Quillbrook.
std::optional<std::u16string> SettingsText(const registry::RegistryDocument& document,
                                           std::u16string_view name);
std::optional<uint32_t> SettingsNumber(const registry::RegistryDocument& document,
                                       std::u16string_view name);

// A registry file with the settings key holding the proxy switched off (with a server and
// port kept for later) and a key of another program: what a device has before a run.
std::string SeededRegistryText();
// Checks that a document still holds everything SeededRegistryText put there.
bool HoldsSeededValues(const registry::RegistryDocument& document);

// The first line of a sanitizer's report in a run's standard error, or "" when there is none
// (a report does not always change the exit code).
std::string SanitizerReport(const std::string& errors);

// The names in a folder, sorted (no "." or "..").
std::vector<std::string> FolderEntries(const std::string& hostFolder);

} // namespace qb::faults
