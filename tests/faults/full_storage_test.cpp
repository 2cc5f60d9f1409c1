// A full device, made with a file-size limit on the program's process at several points of
// a download: the run ends with the write-failure exit code, the file holds exactly the
// bytes that fitted (an existing part is never cut or changed), and the registry file,
// whose rewrite meets the same limit, stays the complete version it was. A small tmpfs
// fills up for real, and a resume into a bigger one completes the file.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/faults/program_sandbox.h"
#include "tests/support/process.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tmpfs_mount.h"

namespace qb::faults {
namespace {

constexpr size_t kBodySize = 20000;

struct FullCase {
    const char* name;
    size_t existing;       // bytes of the body already in the file; npos: no file
    uint64_t limit;        // the file-size limit
    bool resume;           // Resume=1 (the default) or Resume=0
    int exitCode;          // expected
    size_t expectedLength; // of the file afterwards, a prefix of the body
};

constexpr size_t kNoFile = std::string::npos;

class FullStorage : public ::testing::TestWithParam<FullCase> {};

TEST_P(FullStorage, WritesWhatFitsAndNothingElse) {
    const FullCase& c = GetParam();
    const std::string body = Body(kBodySize, 3);
    ProgramSandbox box;
    ASSERT_TRUE(box.valid());
    const std::string registryBefore = SeededRegistryText();
    ASSERT_TRUE(test::writeFile(box.RegistryPath(), registryBefore));
    if (c.existing != kNoFile) {
        ASSERT_TRUE(box.Write("dir/full.bin", body.substr(0, c.existing)));
    }

    test::ScriptedServer server;
    server.setFallback(test::rangeResponder(body));
    ASSERT_TRUE(server.start());
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/full.bin";
    Fault fault;
    fault.fileSizeLimit = c.limit;
    const test::ProcessResult run =
        box.Run(url, "/dir", {c.resume ? "Resume=1" : "Resume=0"}, fault);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_EQ(SanitizerReport(run.err), "");

    const std::optional<std::string> file = box.Read("dir/full.bin");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->size(), c.expectedLength);
    EXPECT_TRUE(*file == body.substr(0, file->size())) << "the file is no prefix of the body";

    // The registry: either rewritten whole (it fitted) or left exactly as it was.
    const std::optional<std::string> registryAfter = test::readFile(box.RegistryPath());
    ASSERT_TRUE(registryAfter.has_value());
    const std::optional<ParsedRegistry> registry = ParseRegistryFile(box.RegistryPath());
    ASSERT_TRUE(registry.has_value());
    EXPECT_EQ(registry->skippedLines, 0u);
    EXPECT_TRUE(HoldsSeededValues(registry->document));
    if (c.limit < registryBefore.size()) {
        EXPECT_EQ(*registryAfter, registryBefore);
    }
    EXPECT_EQ(FolderEntries(box.dir().path()),
              (std::vector<std::string>{"registry.reg", "registry.reg.lock", "root"}));
    EXPECT_EQ(FolderEntries(box.Host("dir")), std::vector<std::string>{"full.bin"});
}

INSTANTIATE_TEST_SUITE_P(
    Limits, FullStorage,
    ::testing::Values(
        // Nothing fits: the limit meets the first byte (and the registry's rewrite).
        FullCase{"NothingFits", kNoFile, 0, true, kExitWriteFailed, 0},
        FullCase{"InsideTheFirstPiece", kNoFile, 77, true, kExitWriteFailed, 77},
        FullCase{"MidBody", kNoFile, 9999, true, kExitWriteFailed, 9999},
        FullCase{"AtAPieceBoundary", kNoFile, 128 * 40, true, kExitWriteFailed, 128 * 40},
        FullCase{"OneByteShort", kNoFile, kBodySize - 1, true, kExitWriteFailed, kBodySize - 1},
        // Exactly room for the body: the download completes.
        FullCase{"ExactlyAtTheEnd", kNoFile, kBodySize, true, kExitDownloaded, kBodySize},
        // Continuing a part: what was there stays, the rest fills up to the limit.
        FullCase{"ResumeMidBody", 5000, 12345, true, kExitWriteFailed, 12345},
        FullCase{"ResumeAtTheLimit", 5000, 5000, true, kExitWriteFailed, 5000},
        // A part already longer than the limit allows is kept whole, not cut.
        FullCase{"ResumeBeyondTheLimit", 5000, 3000, true, kExitWriteFailed, 5000},
        FullCase{"ResumeExactlyToTheEnd", 5000, kBodySize, true, kExitResumed, kBodySize},
        // Overwriting empties the file as asked, then fills it up to the limit.
        FullCase{"OverwriteMidBody", 15000, 4000, false, kExitWriteFailed, 4000}),
    [](const ::testing::TestParamInfo<FullCase>& info) { return std::string(info.param.name); });

// Under a shell's "ulimit -f", SIGXFSZ keeps its default action, which ends a process at its
// first write beyond the limit. The registry is rewritten at start-up, before any file is
// opened, so with a limit below the registry file's size the rewrite must already fail with
// an error rather than end the program, which then downloads up to the limit as usual.
TEST(FullStorageUnderAShellLimit, TheProgramEndsWithItsOwnExitCode) {
    const std::string body = Body(kBodySize, 3);
    ProgramSandbox box;
    ASSERT_TRUE(box.valid());
    ASSERT_TRUE(test::writeFile(box.RegistryPath(), SeededRegistryText()));
    test::ScriptedServer server;
    server.setFallback(test::rangeResponder(body));
    ASSERT_TRUE(server.start());
    Fault fault;
    fault.fileSizeLimit = 100;
    fault.keepFileSizeSignal = true;
    const test::ProcessResult run = box.Run(
        "http://127.0.0.1:" + std::to_string(server.port()) + "/full.bin", "/dir", {}, fault);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, kExitWriteFailed) << run.err;
    EXPECT_EQ(box.Read("dir/full.bin"), body.substr(0, 100));
    EXPECT_EQ(test::readFile(box.RegistryPath()), SeededRegistryText());
}

// A small tmpfs mounted on the download folder fills up for real: the run keeps what was
// written and ends with the write-failure code; with the file system made bigger, a resume
// completes the file byte-exact. Needs the right to mount; skipped, saying so, without it.
// The small file system's size, and the size it is given for the resume.
constexpr uint64_t kSmallTmpfs = 64u << 10;
constexpr uint64_t kLargeTmpfs = 1u << 20;

TEST(FullStorageOnATmpfs, KeepsWhatWasWrittenAndAResumeCompletesIt) {
    constexpr size_t kLargeBody = 200000; // more than the small file system holds
    const std::string body = Body(kLargeBody, 5);
    ProgramSandbox box;
    ASSERT_TRUE(box.valid());
    ASSERT_TRUE(test::makeDirectories(box.Host("dir")));
    test::TmpfsMount tmpfs(box.Host("dir"), kSmallTmpfs);
    if (!tmpfs.mounted()) GTEST_SKIP() << tmpfs.error() << " (needs root or CAP_SYS_ADMIN)";
    test::ScriptedServer server;
    server.setFallback(test::rangeResponder(body));
    ASSERT_TRUE(server.start());
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/big.bin";

    const test::ProcessResult full = box.Run(url, "/dir");
    EXPECT_EQ(full.exitCode, kExitWriteFailed) << full.err;
    const std::optional<std::string> part = box.Read("dir/big.bin");
    ASSERT_TRUE(part.has_value());
    EXPECT_GT(part->size(), 0u);
    EXPECT_LT(part->size(), kLargeBody);
    EXPECT_TRUE(*part == body.substr(0, part->size())) << "the part is no prefix of the body";

    ASSERT_TRUE(tmpfs.resize(kLargeTmpfs)) << tmpfs.error();
    const test::ProcessResult resumed = box.Run(url, "/dir", {"Resume=1"});
    EXPECT_EQ(resumed.exitCode, kExitResumed) << resumed.err;
    EXPECT_EQ(SanitizerReport(resumed.err), "");
    EXPECT_TRUE(box.Read("dir/big.bin") == body);
}

} // namespace
} // namespace qb::faults
