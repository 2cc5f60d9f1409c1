// The program killed (SIGKILL) in the middle of a body, once or several times in a row, and
// a last run against nginx: after each kill the file holds the body's beginning and nothing
// else, every later run continues it from its length, and the last one ends with the exact
// body; also twenty kills at random points in a row. The device keeps up to 256 KiB of a file's
// writes in memory, so the bodies are long enough for a killed run to have stored some of what it
// received.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "tests/faults/program_sandbox.h"
#include "tests/support/nginx_server.h"
#include "tests/support/scripted_server.h"

namespace qb::faults {
namespace {

constexpr size_t kBodySize = 1200000;
constexpr test::Millis kArrivalLimit{15000};
constexpr test::Millis kPoll{2};
constexpr test::Millis kSettle{150};

constexpr test::Millis kServerStall{30000};
constexpr const char* kFileName = "movie.bin";

// Answers every request with the body from the asked position (206 for a range from inside
// it, else 200) but sends only up to stopAt, then holds the connection open.
test::Responder StallingAt(const std::string& body, size_t stopAt) {
    return [body, stopAt](const std::string& request) {
        const std::optional<test::ByteRange> range = test::requestedRange(request);
        const size_t first = range && range->first < body.size() ? range->first : 0;
        const size_t end = stopAt > first ? stopAt : first;
        std::string head;
        if (first == 0) {
            head = test::httpResponse(200, "OK", {{"Content-Length", std::to_string(body.size())}},
                                      "");
        } else {
            head = test::httpResponse(206, "Partial Content",
                                      {{"Content-Range", "bytes " + std::to_string(first) + "-" +
                                                             std::to_string(body.size() - 1) + "/" +
                                                             std::to_string(body.size())},
                                       {"Content-Length", std::to_string(body.size() - first)}},
                                      "");
        }
        return test::Reply().send(head + body.substr(first, end - first)).stall(kServerStall);
    };
}

std::optional<off_t> FileSize(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return info.st_size;
}

// Waits until the file exists (and, when grow is set, is longer than had), then until its
// size has stayed the same for kSettle: the run has stored what it is going to store.
std::optional<size_t> WaitForStoredPart(const std::string& path, size_t had, bool grow,
                                        test::ChildProcess* child) {
    const auto deadline = std::chrono::steady_clock::now() + kArrivalLimit;
    std::optional<off_t> last;
    auto steadySince = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline && child->running()) {
        const std::optional<off_t> size = FileSize(path);
        const auto now = std::chrono::steady_clock::now();
        if (size != last) {
            last = size;
            steadySince = now;
        } else if (size && (!grow || static_cast<size_t>(*size) > had) &&
                   now - steadySince >= kSettle) {
            return static_cast<size_t>(*size);
        }
        std::this_thread::sleep_for(kPoll);
    }
    return std::nullopt;
}

struct KillCase {
    const char* name;
    std::vector<size_t> sentUpTo; // where the server stops sending in each killed run
    bool grows;                   // each killed run stores bytes before it is killed
};

// Twenty kills at moments no one chose: increasing random points of the body (each run's
// trace names its point, so a failure can be replayed as a case of its own).
std::vector<size_t> RandomKillPoints() {
    constexpr size_t kKills = 20;
    std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<size_t> point(0, kBodySize - 1);
    std::vector<size_t> points(kKills);
    for (size_t& p : points) p = point(random);
    std::sort(points.begin(), points.end());
    return points;
}

class InterruptedDownload : public ::testing::TestWithParam<KillCase> {};

TEST_P(InterruptedDownload, KilledRunsAreContinuedToTheExactBytes) {
    if (!test::NginxServer::available()) GTEST_SKIP() << "nginx is not installed";
    const std::string body = Body(kBodySize, 7);
    ProgramSandbox box;
    ASSERT_TRUE(box.valid());
    ASSERT_TRUE(test::writeFile(box.RegistryPath(), SeededRegistryText()));
    const std::string target = box.Host(std::string("dir/") + kFileName);

    size_t had = 0;
    for (const size_t stopAt : GetParam().sentUpTo) {
        SCOPED_TRACE("sent up to " + std::to_string(stopAt));
        test::ScriptedServer server;
        server.setFallback(StallingAt(body, stopAt));
        ASSERT_TRUE(server.start());
        test::ChildProcess child;
        ASSERT_TRUE(box.Start(&child, "http://127.0.0.1:" + std::to_string(server.port()) + "/v/" +
                                          kFileName))
            << child.error();
        const std::optional<size_t> stored =
            WaitForStoredPart(target, had, GetParam().grows, &child);
        ASSERT_TRUE(stored.has_value())
            << "the file never grew past " << had << " bytes: " << child.errors();
        ASSERT_EQ(kill(child.pid(), SIGKILL), 0);
        ASSERT_TRUE(child.wait(test::Millis{5000}));
        EXPECT_EQ(child.termSignal(), SIGKILL);
        EXPECT_EQ(SanitizerReport(child.errors()), "");
        server.stop();
        const std::optional<std::string> part = test::readFile(target);
        ASSERT_TRUE(part.has_value());
        // What was stored is the body's beginning, never more than arrived; a part that was
        // received but still held in memory is simply fetched again.
        ASSERT_GE(part->size(), had);
        ASSERT_LE(part->size(), stopAt);
        EXPECT_TRUE(*part == body.substr(0, part->size())) << "the part differs from the body";
        had = part->size();
    }

    test::NginxServer nginx;
    ASSERT_TRUE(nginx.writeFile(std::string("v/") + kFileName, body));
    ASSERT_TRUE(nginx.start()) << nginx.error();
    const test::ProcessResult run = box.Run(nginx.url(std::string("/v/") + kFileName));
    EXPECT_EQ(run.exitCode, kExitResumed) << run.err;
    EXPECT_EQ(SanitizerReport(run.err), "");
    const std::optional<std::string> file = test::readFile(target);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->size(), body.size());
    EXPECT_TRUE(*file == body) << "the continued file differs from the body";
    if (had > 0) {
        // nginx answered the range from the file's length: only the rest was sent.
        EXPECT_TRUE(nginx.waitForAccessLog(" 206 " + std::to_string(body.size() - had) + " "))
            << nginx.accessLog();
    }

    const std::optional<ParsedRegistry> registry = ParseRegistryFile(box.RegistryPath());
    ASSERT_TRUE(registry.has_value());
    EXPECT_EQ(registry->skippedLines, 0u);
    EXPECT_TRUE(HoldsSeededValues(registry->document));
    EXPECT_EQ(SettingsText(registry->document, u"FilePath"),
              ProgramSandbox::DevicePathOf(ProgramSandbox::kProgramName));
}

// An interrupt, a hang-up and a termination request stop the run as the close box does:
// exit -2, and the file holds exactly the bytes that arrived, the held ones included.
TEST(StoppedBySignal, TheRunEndsAsClosedEarlyWithEveryByteThatArrived) {
    constexpr size_t kSent = 300000; // past what the device holds back
    const std::string body = Body(kBodySize, 3);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(number));
        ProgramSandbox box;
        ASSERT_TRUE(box.valid());
        const std::string target = box.Host(std::string("dir/") + kFileName);
        test::ScriptedServer server;
        server.setFallback(StallingAt(body, kSent));
        ASSERT_TRUE(server.start());
        test::ChildProcess child;
        ASSERT_TRUE(box.Start(&child, "http://127.0.0.1:" + std::to_string(server.port()) + "/v/" +
                                          kFileName))
            << child.error();
        ASSERT_TRUE(WaitForStoredPart(target, 0, true, &child).has_value()) << child.errors();
        ASSERT_EQ(kill(child.pid(), number), 0);
        ASSERT_TRUE(child.wait(test::Millis{5000}));
        EXPECT_EQ(child.exitCode(), kExitWindowClosedEarly) << child.errors();
        EXPECT_EQ(SanitizerReport(child.errors()), "");
        EXPECT_TRUE(test::readFile(target) == body.substr(0, kSent)) << "the part is not the start";
    }
}

INSTANTIATE_TEST_SUITE_P(
    KillPoints, InterruptedDownload,
    ::testing::Values(KillCase{"AfterTheHeader", {0}, false}, KillCase{"AfterOneByte", {1}, false},
                      KillCase{"WhileTheWritesAreHeld", {100000}, false},
                      KillCase{"PastTheHeldWrites", {400037}, true},
                      KillCase{"OneByteShort", {kBodySize - 1}, true},
                      KillCase{"ThreeTimes", {400000, 900001, kBodySize - 1}, true},
                      KillCase{"TwentyRandomMoments", RandomKillPoints(), false}),
    [](const ::testing::TestParamInfo<KillCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace qb::faults
