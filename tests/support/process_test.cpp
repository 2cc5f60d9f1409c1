// Child processes and temporary folders: captured output, environment, limits, stopping the
// whole process group, and clean removal.
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace qb::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

ProcessResult shell(const std::string& script, const ProcessOptions& options = {}) {
    return runProcess("sh", {"-c", script}, options);
}

// True while process pid exists and is not a zombie.
bool alive(int pid) {
    const auto stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return false;
    const size_t close = stat->rfind(')');
    return close != std::string::npos && close + 2 < stat->size() && (*stat)[close + 2] != 'Z';
}

// SIGKILL is delivered asynchronously: give a process that was sent one a moment to die.
bool diesSoon(int pid) {
    const auto deadline = Clock::now() + 2s;
    while (alive(pid)) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(RunProcess, CapturesOutputAndExitStatus) {
    const auto result = shell("echo out; printf 'err' >&2; exit 3");
    ASSERT_TRUE(result.started) << result.error;
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.out, "out\n");
    EXPECT_EQ(result.err, "err");
}

TEST(RunProcess, PassesEnvironmentFolderAndInput) {
    ::setenv("QB_PROCESS_TEST_GONE", "present", 1);
    ::setenv("QB_PROCESS_TEST_KEPT", "kept", 1);
    TempDir dir;
    ProcessOptions options;
    options.env = {"QB_PROCESS_TEST_NEW=new value", "QB_PROCESS_TEST_KEPT=replaced"};
    options.unsetEnv = {"QB_PROCESS_TEST_GONE"};
    options.workDir = dir.path();
    options.input = "line from stdin\n";
    const auto result = shell("echo \"$QB_PROCESS_TEST_NEW|$QB_PROCESS_TEST_KEPT|"
                              "${QB_PROCESS_TEST_GONE-unset}\"; pwd; cat",
                              options);
    ::unsetenv("QB_PROCESS_TEST_GONE");
    ::unsetenv("QB_PROCESS_TEST_KEPT");
    EXPECT_EQ(result.out, "new value|replaced|unset\n" + dir.path() + "\nline from stdin\n");
}

TEST(RunProcess, ChildStartsWithDefaultSignalsWhatEverTheParentIgnores) {
    // A child that inherited an ignored SIGPIPE would hide a program's own handling of it.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    const auto result = runProcess("grep", {"^SigIgn:", "/proc/self/status"});
    ::sigaction(SIGPIPE, &previous, nullptr);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const unsigned long long ignored = std::strtoull(result.out.c_str() + 7, nullptr, 16);
    EXPECT_EQ(ignored & (1ull << (SIGPIPE - 1)), 0u) << result.out;
}

TEST(RunProcess, StopsAProgramThatRunsPastItsLimit) {
    ProcessOptions options;
    options.limit = 200ms;
    const auto start = Clock::now();
    const auto result = shell("sleep 30", options);
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.signal, SIGTERM);
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_LT(Clock::now() - start, 5s);
}

TEST(RunProcess, ReportsAProgramThatCannotRun) {
    const auto result = runProcess("/nonexistent/program", {});
    EXPECT_FALSE(result.started);
    EXPECT_NE(result.error.find("/nonexistent/program"), std::string::npos);
    EXPECT_FALSE(runProcess("qb-no-such-program-anywhere", {}).started);
}

TEST(ChildProcess, StopKillsWhatIgnoresSigtermAndItsProcessGroup) {
    ChildProcess child;
    ASSERT_TRUE(child.start("sh", {"-c", "trap '' TERM; sleep 30 & echo $!; wait"}));
    ASSERT_TRUE(child.waitForOutput("\n", 5s));
    const int grandchild = std::atoi(child.output().c_str());
    ASSERT_GT(grandchild, 0);
    EXPECT_TRUE(child.running());
    const auto start = Clock::now();
    child.stop(300ms);
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_TRUE(child.exited());
    EXPECT_EQ(child.termSignal(), SIGKILL);
    EXPECT_TRUE(diesSoon(grandchild));
    EXPECT_FALSE(child.running());
}

TEST(ChildProcess, WaitSeesAnExitWithinItsLimit) {
    ChildProcess child;
    ASSERT_TRUE(child.start("sh", {"-c", "sleep 0.1; exit 7"}));
    EXPECT_FALSE(child.wait(10ms));
    EXPECT_TRUE(child.wait(5s));
    EXPECT_EQ(child.exitCode(), 7);
}

TEST(TempDir, RemovesEverythingIncludingUnreadableFolders) {
    TempDir outside("qb-tempdir-outside");
    ASSERT_TRUE(outside.write("canary", "stays"));
    std::string path;
    {
        TempDir dir("qb-tempdir-test");
        ASSERT_TRUE(dir.valid());
        path = dir.path();
        ASSERT_TRUE(dir.write("a/b/c.txt", "deep"));
        EXPECT_EQ(dir.read("a/b/c.txt"), "deep");
        ASSERT_EQ(::chmod(dir.file("a/b").c_str(), 0), 0);
        ASSERT_EQ(::symlink(outside.path().c_str(), dir.file("link").c_str()), 0);
        TempDir moved = std::move(dir);
        EXPECT_FALSE(dir.valid());
        EXPECT_EQ(moved.path(), path);
    }
    struct stat info {};
    EXPECT_NE(::lstat(path.c_str(), &info), 0);
    EXPECT_EQ(outside.read("canary"), "stays"); // links are removed, not followed
}

} // namespace
} // namespace qb::test
