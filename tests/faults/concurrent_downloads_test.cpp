// Fifty automatic-mode runs at once from nginx into one folder, all recording their location
// in one registry file: every file arrives whole, and the registry file stays one complete,
// well-formed version that still holds what was there before. Eight runs into one file name
// leave one writer and the file whole, and a run into a file another run is writing is
// refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/faults/program_sandbox.h"
#include "tests/support/nginx_server.h"
#include "tests/support/scripted_server.h"

namespace qb::faults {
namespace {

constexpr int kRuns = 50;
constexpr test::Millis kAllRunsLimit{90000};

// Sizes around the receive piece (64 KiB; once 128 bytes) and the empty body first, then
// larger ones.
size_t BodySize(int run) {
    static const size_t kEdges[] = {0, 1, 127, 128, 129, 4096, 65535, 65536, 65537};
    if (run < static_cast<int>(std::size(kEdges))) return kEdges[run];
    return 1000 + static_cast<size_t>(run) * 2711;
}

std::string FileName(int run) {
    return "f" + std::to_string(run) + ".bin";
}

std::string ProgramName(int run) {
    return "quillbrook-" + std::to_string(run);
}

TEST(ConcurrentDownloads, FiftyRunsIntoOneFolderAndOneRegistry) {
    if (!test::NginxServer::available()) GTEST_SKIP() << "nginx is not installed";
    ProgramSandbox box;
    ASSERT_TRUE(box.valid());
    ASSERT_TRUE(test::writeFile(box.RegistryPath(), SeededRegistryText()));
    test::NginxServer nginx;
    std::set<std::u16string> recordedPaths;
    for (int run = 0; run < kRuns; ++run) {
        ASSERT_TRUE(nginx.writeFile("files/" + FileName(run), Body(BodySize(run), run)));
        // Each run under its own name, so that the location left in the registry shows
        // which writer's version survived whole.
        ASSERT_TRUE(box.InstallProgram(ProgramName(run)));
        recordedPaths.insert(ProgramSandbox::DevicePathOf(ProgramName(run)));
    }
    ASSERT_TRUE(nginx.start()) << nginx.error();

    std::vector<std::unique_ptr<test::ChildProcess>> children;
    for (int run = 0; run < kRuns; ++run) {
        children.push_back(std::make_unique<test::ChildProcess>());
        ASSERT_TRUE(box.Start(children.back().get(), nginx.url("/files/" + FileName(run)), "/dir",
                              {}, ProgramName(run)))
            << children.back()->error();
    }
    const auto deadline = std::chrono::steady_clock::now() + kAllRunsLimit;
    for (int run = 0; run < kRuns; ++run) {
        test::ChildProcess& child = *children[run];
        const auto left =
            std::chrono::duration_cast<test::Millis>(deadline - std::chrono::steady_clock::now());
        ASSERT_TRUE(child.wait(std::max(left, test::Millis{1}))) << "run " << run << " hangs";
        EXPECT_EQ(child.exitCode(), kExitDownloaded) << "run " << run << ": " << child.errors();
        EXPECT_EQ(SanitizerReport(child.errors()), "") << "run " << run;
    }

    std::vector<std::string> expectedNames;
    for (int run = 0; run < kRuns; ++run) {
        const std::optional<std::string> file = box.Read("dir/" + FileName(run));
        ASSERT_TRUE(file.has_value()) << FileName(run);
        EXPECT_EQ(file->size(), BodySize(run)) << FileName(run);
        EXPECT_TRUE(*file == Body(BodySize(run), run)) << FileName(run) << " differs";
        expectedNames.push_back(FileName(run));
    }
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(FolderEntries(box.Host("dir")), expectedNames); // nothing else left in the folder

    const std::optional<ParsedRegistry> registry = ParseRegistryFile(box.RegistryPath());
    ASSERT_TRUE(registry.has_value());
    EXPECT_EQ(registry->skippedLines, 0u);
    EXPECT_TRUE(HoldsSeededValues(registry->document));
    const std::optional<std::u16string> recorded = SettingsText(registry->document, u"FilePath");
    ASSERT_TRUE(recorded.has_value());
    EXPECT_EQ(recordedPaths.count(*recorded), 1u);
    // Only the file and its lock: no temporary version, no damaged copy.
    EXPECT_EQ(FolderEntries(box.dir().path()),
              (std::vector<std::string>{"registry.reg", "registry.reg.lock", "root"}));
}

// Runs killed (SIGKILL) at staggered moments of their start, some of them while they hold
// the registry's lock or write its next version, among runs that go on: the lock is never
// left held, the registry file stays one whole version, and a later run records itself.
TEST(ConcurrentDownloads, RunsKilledDuringStartLeaveTheRegistryWhole) {
    if (!test::NginxServer::available()) GTEST_SKIP() << "nginx is not installed";
    constexpr int kKilled = 20;
    constexpr test::Millis kStagger{3};
    ProgramSandbox box;
    ASSERT_TRUE(box.valid());
    ASSERT_TRUE(test::writeFile(box.RegistryPath(), SeededRegistryText()));
    test::NginxServer nginx;
    ASSERT_TRUE(nginx.writeFile("files/k.bin", Body(300000, 1)));
    ASSERT_TRUE(nginx.start()) << nginx.error();

    std::vector<std::unique_ptr<test::ChildProcess>> children;
    for (int run = 0; run < kKilled; ++run) {
        children.push_back(std::make_unique<test::ChildProcess>());
        ASSERT_TRUE(box.Start(children.back().get(), nginx.url("/files/k.bin"),
                              "/dir/k" + std::to_string(run) + ".bin"));
    }
    for (int run = 0; run < kKilled; ++run) {
        std::this_thread::sleep_for(kStagger);
        kill(children[run]->pid(), SIGKILL);
    }
    for (auto& child : children) ASSERT_TRUE(child->wait(test::Millis{10000}));

    // Every file a killed run left is the body's beginning.
    const std::string body = Body(300000, 1);
    for (const std::string& name : FolderEntries(box.Host("dir"))) {
        const std::optional<std::string> part = box.Read("dir/" + name);
        ASSERT_TRUE(part.has_value());
        EXPECT_TRUE(*part == body.substr(0, part->size())) << name;
    }
    const test::ProcessResult after = box.Run(nginx.url("/files/k.bin"), "/dir/after.bin");
    EXPECT_EQ(after.exitCode, kExitDownloaded) << after.err;
    EXPECT_EQ(SanitizerReport(after.err), "");
    EXPECT_TRUE(box.Read("dir/after.bin") == body);
    const std::optional<ParsedRegistry> registry = ParseRegistryFile(box.RegistryPath());
    ASSERT_TRUE(registry.has_value());
    EXPECT_EQ(registry->skippedLines, 0u);
    EXPECT_TRUE(HoldsSeededValues(registry->document));
    EXPECT_EQ(SettingsText(registry->document, u"FilePath"),
              ProgramSandbox::DevicePathOf(ProgramSandbox::kProgramName));
    // A writer killed between creating its temporary version and renaming it leaves that
    // file behind; the later run's rewrite removes it, so nothing else may be there.
    for (const std::string& name : FolderEntries(box.dir().path())) {
        const bool known = name == "registry.reg" || name == "registry.reg.lock" || name == "root";
        EXPECT_TRUE(known) << name;
    }
}

// Eight runs at once into one file name with Resume=1, from a rate-limited location so that
// they overlap: whichever run holds the file writes it, a run that finds it complete says
// so, and the others fail without writing; the file ends whole, never with interleaved
// bytes, and the registry stays well-formed.
TEST(ConcurrentDownloads, EightRunsIntoOneFileNameLeaveItWhole) {
    if (!test::NginxServer::available()) GTEST_SKIP() << "nginx is not installed";
    constexpr int kContending = 8;
    constexpr size_t kSize = 1 << 20;
    ProgramSandbox box;
    ASSERT_TRUE(box.valid());
    ASSERT_TRUE(test::writeFile(box.RegistryPath(), SeededRegistryText()));
    test::NginxOptions options;
    options.extraServerConfig = "location /slow/ { limit_rate 256k; }\n";
    test::NginxServer nginx(options);
    const std::string body = Body(kSize, 8);
    ASSERT_TRUE(nginx.writeFile("slow/same.bin", body));
    ASSERT_TRUE(nginx.start()) << nginx.error();

    std::vector<std::unique_ptr<test::ChildProcess>> children;
    for (int run = 0; run < kContending; ++run) {
        children.push_back(std::make_unique<test::ChildProcess>());
        ASSERT_TRUE(
            box.Start(children.back().get(), nginx.url("/slow/same.bin"), "/dir", {"Resume=1"}))
            << children.back()->error();
    }
    int whole = 0;
    for (int run = 0; run < kContending; ++run) {
        test::ChildProcess& child = *children[run];
        ASSERT_TRUE(child.wait(kAllRunsLimit)) << "run " << run << " hangs";
        const int code = child.exitCode();
        if (code == kExitDownloaded || code == kExitResumed) ++whole;
        EXPECT_TRUE(code == kExitDownloaded || code == kExitResumed || code == kExitWriteFailed ||
                    code == kExitNetworkFailed)
            << "run " << run << " exit " << code << ": " << child.errors();
        EXPECT_EQ(SanitizerReport(child.errors()), "") << "run " << run;
    }
    EXPECT_GE(whole, 1);
    const std::optional<std::string> file = box.Read("dir/same.bin");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->size(), kSize);
    EXPECT_TRUE(*file == body) << "the file holds interleaved or foreign bytes";
    EXPECT_EQ(FolderEntries(box.Host("dir")), std::vector<std::string>{"same.bin"});
    const std::optional<ParsedRegistry> registry = ParseRegistryFile(box.RegistryPath());
    ASSERT_TRUE(registry.has_value());
    EXPECT_EQ(registry->skippedLines, 0u);
    EXPECT_TRUE(HoldsSeededValues(registry->document));
}

// One run holds the file while its server stalls mid-body; a second run into the same name
// (overwriting, or resuming) is refused the file and changes nothing in it, since the sharing
// of one process does not reach the other: the lock against writers elsewhere does. The
// first run then completes the file.
TEST(ConcurrentDownloads, ARunIntoAFileAnotherRunWritesIsRefused) {
    constexpr size_t kSize = 20000;
    constexpr size_t kBeforeStall = 8192;
    const std::string body = Body(kSize, 21);
    ProgramSandbox box;
    ASSERT_TRUE(box.valid());
    test::ScriptedServer server;
    const std::string head =
        "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kSize) + "\r\n\r\n";
    server.addReply(test::Reply()
                        .send(head + body.substr(0, kBeforeStall))
                        .stall(test::Millis{30000})
                        .send(body.substr(kBeforeStall)));
    // What the second runs would write, if they got the file.
    const std::string other = Body(kSize, 22);
    server.setFallback(
        [answer = head + other](const std::string&) { return test::Reply().send(answer); });
    ASSERT_TRUE(server.start());
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/same.bin";

    test::ChildProcess first;
    ASSERT_TRUE(box.Start(&first, url)) << first.error();
    ASSERT_TRUE(server.waitForStalls(1, test::Millis{15000}));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!box.Read("dir/same.bin").has_value() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(box.Read("dir/same.bin").has_value()) << "the first run made no file";

    for (const char* resume : {"Resume=0", "Resume=1"}) {
        SCOPED_TRACE(resume);
        const test::ProcessResult second = box.Run(url, "/dir", {resume});
        EXPECT_EQ(second.exitCode, kExitWriteFailed) << second.err;
        EXPECT_EQ(SanitizerReport(second.err), "");
        const std::optional<std::string> file = box.Read("dir/same.bin");
        ASSERT_TRUE(file.has_value());
        EXPECT_TRUE(*file == body.substr(0, file->size())) << "the second run wrote into it";
    }

    server.release();
    ASSERT_TRUE(first.wait(kRunLimit));
    EXPECT_EQ(first.exitCode(), kExitDownloaded) << first.errors();
    EXPECT_TRUE(box.Read("dir/same.bin") == body) << "the first run's file is not whole";
}

} // namespace
} // namespace qb::faults
