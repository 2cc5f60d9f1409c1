// The program in automatic mode with the window hidden, as a process on a sandbox device,
// against the scripted server: the file it leaves, the exit code it ends with and the line
// it writes on standard error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace {

using qb::test::Reply;

// Exit codes as the shell sees them.
constexpr int kDownloaded = 1;
constexpr int kResumed = 2;
constexpr int kWriteFailed = 256 - 5;
constexpr int kNetworkFailed = 256 - 6;
constexpr int kNoFileName = 256 - 7;

std::string Body(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return body;
}

class AutomaticDownload : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(qb::test::makeDirectories(dir_.file("root/dir"))); }
    void Serve() { ASSERT_TRUE(server_.start()); }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(server_.port()) + path;
    }
    // Runs the program hidden; prefix: shell commands run before it in the same shell.
    qb::test::ProcessResult Run(const std::string& url, std::vector<std::string> extra = {},
                                const std::string& prefix = "") const {
        std::vector<std::string> args = {"URL=" + url, "Path=/dir", "ShowWindow=0"};
        args.insert(args.end(), extra.begin(), extra.end());
        qb::test::ProcessOptions options;
        options.env = {"QUILLBROOK_ROOT=" + dir_.file("root"),
                       "QUILLBROOK_REGISTRY=" + dir_.file("registry.reg"), "LANG=C"};
        options.unsetEnv = {"LC_ALL", "LC_MESSAGES", "LC_CTYPE"};
        options.limit = qb::test::Millis{30000};
        if (prefix.empty()) return qb::test::runProcess(QB_PROGRAM, args, options);
        std::vector<std::string> shell = {"-c", prefix + "; exec \"$0\" \"$@\"", QB_PROGRAM};
        shell.insert(shell.end(), args.begin(), args.end());
        return qb::test::runProcess("/bin/sh", shell, options);
    }
    std::string Target(const std::string& name) const { return "root/dir/" + name; }
    std::optional<std::string> File(const std::string& name) const {
        return dir_.read(Target(name));
    }

    qb::test::TempDir dir_{"qb-download"};
    qb::test::ScriptedServer server_;
};

TEST_F(AutomaticDownload, NewFileIsWrittenWhole) {
    const std::string body = Body(70000);
    server_.addReply(qb::test::okReply(body));
    Serve();
    const auto run = Run(Url("/files/new.bin"));
    EXPECT_EQ(run.exitCode, kDownloaded) << run.err;
    EXPECT_EQ(File("new.bin").value_or(""), body);
    EXPECT_NE(server_.request(0).find("Referer: " + Url("/files/")), std::string::npos);
}

TEST_F(AutomaticDownload, ExistingFileIsContinuedFromItsLength) {
    const std::string body = Body(50000);
    ASSERT_TRUE(dir_.write(Target("part.bin"), body.substr(0, 12345)));
    server_.addResponder(qb::test::rangeResponder(body));
    server_.addResponder(qb::test::rangeResponder(body));
    Serve();
    const auto run = Run(Url("/part.bin"));
    EXPECT_EQ(run.exitCode, kResumed) << run.err;
    EXPECT_EQ(File("part.bin").value_or(""), body);
    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].find("Range: bytes=12345-"), std::string::npos) << requests[1];
}

TEST_F(AutomaticDownload, CompleteFileIsLeftAsItIs) {
    const std::string body = Body(3000);
    ASSERT_TRUE(dir_.write(Target("done.bin"), body));
    server_.addResponder(qb::test::rangeResponder(body));
    Serve();
    const auto run = Run(Url("/done.bin"));
    EXPECT_EQ(run.exitCode, kResumed) << run.err;
    EXPECT_EQ(File("done.bin").value_or(""), body);
    EXPECT_EQ(server_.connectionCount(), 1u); // no second request for a body
}

TEST_F(AutomaticDownload, ResumeZeroOverwrites) {
    const std::string body = Body(2000);
    ASSERT_TRUE(dir_.write(Target("old.bin"), std::string(9000, 'x')));
    server_.addReply(qb::test::okReply(body));
    Serve();
    const auto run = Run(Url("/old.bin"), {"Resume=0"});
    EXPECT_EQ(run.exitCode, kDownloaded) << run.err;
    EXPECT_EQ(File("old.bin").value_or(""), body);
}

TEST_F(AutomaticDownload, ServerIgnoringRangesRefetchesIntoAnEmptiedFile) {
    const std::string body = Body(40000);
    ASSERT_TRUE(dir_.write(Target("whole.bin"), std::string(1000, 'x')));
    server_.addResponder(qb::test::rangeResponder(body, {false, {}}));
    server_.addResponder(qb::test::rangeResponder(body, {false, {}}));
    Serve();
    const auto run = Run(Url("/whole.bin"));
    EXPECT_EQ(run.exitCode, kDownloaded) << run.err;
    EXPECT_EQ(run.err, ""); // success says nothing
    EXPECT_EQ(File("whole.bin").value_or(""), body);
    EXPECT_EQ(server_.connectionCount(), 2u); // the 200 to the range request was used
}

TEST_F(AutomaticDownload, RefusedStatusTouchesNoFile) {
    ASSERT_TRUE(dir_.write(Target("kept.bin"), "keep"));
    server_.addReply(Reply().send(qb::test::httpResponse(404, "Not Found", {}, "gone")));
    server_.addReply(Reply().send(qb::test::httpResponse(500, "Oops", {}, "")));
    Serve();
    auto run = Run(Url("/kept.bin"));
    EXPECT_EQ(run.exitCode, kNetworkFailed) << run.err;
    EXPECT_EQ(run.err,
              "Failed to connect to HTTP server. 404 Not Found " + Url("/kept.bin") + "\n");
    EXPECT_EQ(File("kept.bin").value_or(""), "keep");
    run = Run(Url("/absent.bin"));
    EXPECT_EQ(run.exitCode, kNetworkFailed) << run.err;
    EXPECT_FALSE(File("absent.bin").has_value());
}

TEST_F(AutomaticDownload, ShortBodyIsANetworkFailureAndKeepsThePart) {
    const std::string body = Body(500);
    server_.addReply(Reply().send("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + body));
    Serve();
    const auto run = Run(Url("/short.bin"));
    EXPECT_EQ(run.exitCode, kNetworkFailed) << run.err;
    EXPECT_EQ(run.err, "Error occurred in receiving. There might be some trouble on network or "
                       "server. " +
                           Url("/short.bin") + "\n");
    EXPECT_EQ(File("short.bin").value_or(""), body);
}

TEST_F(AutomaticDownload, UnknownLengthEndsWhenTheServerCloses) {
    const std::string body = Body(10000);
    server_.addReply(
        Reply().send("HTTP/1.0 200 OK\r\n\r\n").sendInPieces(body, 999, qb::test::Millis{2}));
    Serve();
    const auto run = Run(Url("/stream"));
    EXPECT_EQ(run.exitCode, kDownloaded) << run.err;
    EXPECT_EQ(File("stream").value_or(""), body);
}

TEST_F(AutomaticDownload, NoFileNameFromAnyone) {
    server_.addReply(qb::test::okReply("x"));
    Serve();
    const auto run = Run(Url("/folder/"));
    EXPECT_EQ(run.exitCode, kNoFileName) << run.err;
    EXPECT_EQ(run.err,
              "File Name cannot be determined. Set user File Name. " + Url("/folder/") + "\n");
}

TEST_F(AutomaticDownload, FullStorageIsAWriteFailure) {
    const std::string body = Body(20000);
    server_.addReply(qb::test::okReply(body));
    Serve();
    // The file-size limit of the shell's child: 4 blocks of 512 bytes.
    const auto run = Run(Url("/big.bin"), {}, "ulimit -f 4");
    EXPECT_EQ(run.exitCode, kWriteFailed) << run.err;
    const auto part = File("big.bin");
    ASSERT_TRUE(part.has_value());
    EXPECT_LT(part->size(), body.size());
    EXPECT_EQ(*part, body.substr(0, part->size()));
}

// A body that fits whatever the platform keeps back of the writes, larger than the device
// takes: the failure may show only when the file is committed, and that still counts.
TEST_F(AutomaticDownload, StorageFailureAtTheLastCommitIsAWriteFailure) {
    const std::string body = Body(3000);
    server_.addReply(qb::test::okReply(body));
    Serve();
    const auto run = Run(Url("/small.bin"), {}, "ulimit -f 4");
    EXPECT_EQ(run.exitCode, kWriteFailed) << run.err;
    EXPECT_EQ(run.err, "Error occurred in receiving. It seems that there is not enough storage "
                       "area. " +
                           Url("/small.bin") + "\n");
    EXPECT_LT(File("small.bin").value_or("").size(), body.size());
}

TEST_F(AutomaticDownload, RedirectNamesTheFile) {
    const std::string body = Body(1500);
    server_.addResponder([this](const std::string&) {
        return Reply().send(
            qb::test::httpResponse(302, "Found", {{"Location", Url("/real/target.bin")}}, ""));
    });
    server_.addReply(qb::test::okReply(body));
    Serve();
    const auto run = Run(Url("/download?id=7"));
    EXPECT_EQ(run.exitCode, kDownloaded) << run.err;
    EXPECT_EQ(File("target.bin").value_or(""), body);
}

TEST_F(AutomaticDownload, CredentialsDemandFailsWithoutAPrompt) {
    server_.addReply(Reply().send(qb::test::httpResponse(
        401, "Unauthorized", {{"WWW-Authenticate", "Basic realm=\"files\""}}, "")));
    Serve();
    const auto run = Run(Url("/private/f.bin"));
    EXPECT_EQ(run.exitCode, kNetworkFailed) << run.err;
    EXPECT_FALSE(File("f.bin").has_value());
}

} // namespace
