// Target folders the program can't write into. Root passes over permission bits, so the
// permission cases run the program as the account "nobody" (qb_fault_launcher --user); the
// others are refused whoever runs them: a "folder" that is a file, and a folder that does
// not exist. Every case ends with the write-failure exit code and changes nothing on disk.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/faults/program_sandbox.h"
#include "tests/support/scripted_server.h"

namespace qb::faults {
namespace {

constexpr const char* kUnprivileged = "nobody";
constexpr mode_t kOpen = 0755;

enum class Setup {
    kFolderWithoutPermissions, // dir is mode 000, run as nobody
    kReadOnlyFolderWithAPart,  // dir is mode 555 and holds a part of the body, run as nobody
    kFolderIsAFile,            // the path's folder is a regular file
    kMissingFolder,            // the path's folder does not exist
};

struct TargetCase {
    const char* name;
    Setup setup;
    const char* path; // the Path run parameter
};

class UnwritableTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(UnwritableTarget, FailsAsAWriteFailureAndTouchesNothing) {
    const TargetCase& c = GetParam();
    const bool unprivileged =
        c.setup == Setup::kFolderWithoutPermissions || c.setup == Setup::kReadOnlyFolderWithAPart;
    if (unprivileged && geteuid() != 0) GTEST_SKIP() << "needs root to become " << kUnprivileged;
    const std::string body = Body(3000, 5);
    ProgramSandbox box;
    ASSERT_TRUE(box.valid());
    ASSERT_TRUE(test::writeFile(box.RegistryPath(), SeededRegistryText()));
    const std::string part = body.substr(0, 1000);
    Fault fault;
    switch (c.setup) {
    case Setup::kFolderWithoutPermissions:
        ASSERT_EQ(chmod(box.dir().path().c_str(), kOpen), 0); // the sandbox itself is open
        ASSERT_EQ(chmod(box.Host("dir").c_str(), 0), 0);
        fault.user = kUnprivileged;
        break;
    case Setup::kReadOnlyFolderWithAPart:
        ASSERT_TRUE(box.Write("dir/t.bin", part));
        ASSERT_EQ(chmod(box.dir().path().c_str(), kOpen), 0);
        ASSERT_EQ(chmod(box.Host("dir").c_str(), 0555), 0);
        fault.user = kUnprivileged;
        break;
    case Setup::kFolderIsAFile:
        ASSERT_TRUE(box.Write("dir/plain", "not a folder"));
        break;
    case Setup::kMissingFolder:
        break;
    }

    test::ScriptedServer server;
    server.setFallback(test::rangeResponder(body));
    ASSERT_TRUE(server.start());
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/t.bin";
    const test::ProcessResult run = box.Run(url, c.path, {}, fault);
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, kExitWriteFailed) << run.err;
    EXPECT_EQ(SanitizerReport(run.err), "");
    chmod(box.Host("dir").c_str(), kOpen);

    switch (c.setup) {
    case Setup::kFolderWithoutPermissions:
    case Setup::kMissingFolder:
        EXPECT_EQ(FolderEntries(box.Host("dir")), std::vector<std::string>{});
        break;
    case Setup::kReadOnlyFolderWithAPart:
        EXPECT_EQ(FolderEntries(box.Host("dir")), std::vector<std::string>{"t.bin"});
        EXPECT_EQ(box.Read("dir/t.bin"), part);
        break;
    case Setup::kFolderIsAFile:
        EXPECT_EQ(FolderEntries(box.Host("dir")), std::vector<std::string>{"plain"});
        EXPECT_EQ(box.Read("dir/plain"), "not a folder");
        break;
    }
    // An unprivileged run can't even read the registry; a privileged one records itself.
    const std::optional<ParsedRegistry> registry = ParseRegistryFile(box.RegistryPath());
    ASSERT_TRUE(registry.has_value());
    EXPECT_EQ(registry->skippedLines, 0u);
    EXPECT_TRUE(HoldsSeededValues(registry->document));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, UnwritableTarget,
    ::testing::Values(
        TargetCase{"FolderWithoutPermissions", Setup::kFolderWithoutPermissions, "/dir"},
        TargetCase{"FolderWithoutPermissionsNamedFile", Setup::kFolderWithoutPermissions,
                   "/dir/mine.bin"},
        TargetCase{"ReadOnlyFolderWithAPart", Setup::kReadOnlyFolderWithAPart, "/dir"},
        TargetCase{"FolderIsAFile", Setup::kFolderIsAFile, "/dir/plain/"},
        TargetCase{"FolderIsAFileNamedFile", Setup::kFolderIsAFile, "/dir/plain/t.bin"},
        TargetCase{"MissingFolder", Setup::kMissingFolder, "/dir/missing/t.bin"}),
    [](const ::testing::TestParamInfo<TargetCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace qb::faults
