// The quillbrook program as a process: --help and --version, and a first start whose
// command line is rejected (exit code -3, seen as 253) after recording its path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kRejectedAsSeen = 256 - 3;
constexpr int kStartupFailedAsSeen = 256 - 1;

std::string ProgramPath() {
    return QB_PROGRAM;
}

// A sandbox device holding a copy of the program (so that its own path is a device path)
// and a registry file of its own.
class FirstStart {
public:
    FirstStart() : dir_("qb-app-process") {
        qb::test::makeDirectories(dir_.file("root"));
        const auto program = qb::test::readFile(ProgramPath());
        ready_ = program.has_value() && dir_.write("root/quillbrook", *program) &&
                 ::chmod(dir_.file("root/quillbrook").c_str(), 0755) == 0;
    }
    bool ready() const { return ready_; }
    qb::test::ProcessResult run(const std::vector<std::string>& args) const {
        qb::test::ProcessOptions options;
        options.env = {"QUILLBROOK_ROOT=" + dir_.file("root"),
                       "QUILLBROOK_REGISTRY=" + dir_.file("registry.reg"), "LANG=C"};
        options.unsetEnv = {"LC_ALL", "LC_MESSAGES", "LC_CTYPE"};
        options.limit = qb::test::Millis{10000};
        return qb::test::runProcess(dir_.file("root/quillbrook"), args, options);
    }
    qb::test::ProcessResult runIn(const std::string& lang,
                                  const std::vector<std::string>& args) const {
        qb::test::ProcessOptions options;
        options.env = {"QUILLBROOK_ROOT=" + dir_.file("root"),
                       "QUILLBROOK_REGISTRY=" + dir_.file("registry.reg"), "LANG=" + lang};
        options.unsetEnv = {"LC_ALL", "LC_MESSAGES", "LC_CTYPE"};
        options.limit = qb::test::Millis{10000};
        return qb::test::runProcess(dir_.file("root/quillbrook"), args, options);
    }
    std::string registry() const { return dir_.read("registry.reg").value_or("<none>"); }

private:
    qb::test::TempDir dir_;
    bool ready_ = false;
};

TEST(ProcessTest, VersionAndHelpAnswerFirst) {
    // Even with a command line that would be rejected after them.
    const std::string longKey(1023, 'k');
    const auto version = qb::test::runProcess(ProgramPath(), {"--version", longKey});
    ASSERT_TRUE(version.started) << version.error;
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Quillbrook 1.15\n");
    const auto help = qb::test::runProcess(ProgramPath(), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: quillbrook"), std::string::npos);
    // It says which proxy wins.
    EXPECT_NE(help.out.find("The proxy set in the registry wins when on; else http_proxy"),
              std::string::npos);
}

TEST(ProcessTest, RejectedCommandLineEndsBeforeAnyWindowAfterRecordingThePath) {
    const std::string key1023(1023, 'k');
    const std::string value4095(4095, 'v');
    const std::vector<std::vector<std::string>> rejected = {
        {key1023 + "="}, // a bare word is refused before the line is parsed
        {"URL=http://127.0.0.1/f", key1023 + "=x"}, // arguments are joined with "&"
        {"URL=" + value4095},
        {"Path=/tmp&URL=" + value4095},
    };
    for (const auto& args : rejected) {
        FirstStart start;
        ASSERT_TRUE(start.ready());
        const auto result = start.run(args);
        ASSERT_TRUE(result.started) << result.error;
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, kRejectedAsSeen) << args[0].substr(0, 30);
        EXPECT_EQ(result.err, ""); // no message
        const std::string registry = start.registry();
        EXPECT_NE(registry.find("[HKEY_CURRENT_USER\\Software\\Vr\\Quillbrook]"), std::string::npos)
            << registry;
        EXPECT_NE(registry.find("\"FilePath\"=\"\\\\quillbrook\""), std::string::npos) << registry;
        for (const char* absent : {"EnableProxy", "ProxyServer", "ProxyPort"}) {
            EXPECT_EQ(registry.find(absent), std::string::npos) << registry;
        }
    }
}

TEST(ProcessTest, LongestKeyAndValueAreNotRejected) {
    // Accepted lines go on to the main dialog; with the window hidden and nothing to fetch
    // the program ends by itself, with any code but the rejection.
    FirstStart start;
    ASSERT_TRUE(start.ready());
    const std::string key1022(1022, 'k');
    const std::string value4094(4094, 'v');
    const auto result = start.run({"ShowWindow=0", key1022 + "=" + value4094});
    ASSERT_TRUE(result.started) << result.error;
    EXPECT_FALSE(result.timedOut);
    EXPECT_NE(result.exitCode, kRejectedAsSeen);
}

TEST(ProcessTest, OptionsAndBareWordsAreRefusedWithAUsageLine) {
    const struct {
        std::vector<std::string> args;
        std::string said;
    } cases[] = {
        {{"--bogus"}, "quillbrook: --bogus: unknown option\n"},
        {{"URL=http://127.0.0.1/f", "-o", "x"}, "quillbrook: -o: unknown option\n"},
        {{"download.bin"}, "quillbrook: download.bin: neither a URL nor Key=value\n"},
        {{"ftp://127.0.0.1/f"}, "quillbrook: ftp://127.0.0.1/f: neither a URL nor Key=value\n"},
    };
    for (const auto& c : cases) {
        FirstStart start;
        ASSERT_TRUE(start.ready());
        const auto result = start.run(c.args);
        ASSERT_TRUE(result.started) << result.error;
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, kRejectedAsSeen) << c.args[0];
        EXPECT_EQ(result.err, c.said + "usage: quillbrook [URL] [Key=value ...] | quillbrook "
                                       "--help | --version\n");
        EXPECT_EQ(result.out, "");
    }
    for (const char* alias : {"-h", "-V"}) {
        const auto answer = qb::test::runProcess(ProgramPath(), {alias, "--bogus"});
        EXPECT_EQ(answer.exitCode, 0) << alias;
        EXPECT_NE(answer.out.find(alias[1] == 'h' ? "usage: quillbrook" : "Quillbrook 1.15"),
                  std::string::npos);
    }
}

// The dialog without a terminal would wait for keys forever: one line, then -1 at once,
// with no arguments and with keys the program does not know (standard input is no terminal).
TEST(ProcessTest, DialogWithoutTerminalSaysSoAndEnds) {
    const struct {
        const char* lang;
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {"C", {}, "no terminal for the dialog; give run parameters, see quillbrook --help\n"},
        {"C",
         {"Foo=bar"},
         "no terminal for the dialog; give run parameters, see quillbrook --help\n"},
        {"ja_JP.UTF-8",
         {},
         "ダイアログを表示する端末がありません。実行パラメータを指定してください"
         "（quillbrook --help を参照）\n"},
    };
    for (const auto& c : cases) {
        FirstStart start;
        ASSERT_TRUE(start.ready());
        const auto result = start.runIn(c.lang, c.args);
        ASSERT_TRUE(result.started) << result.error;
        EXPECT_FALSE(result.timedOut) << c.lang << " " << c.args.size();
        EXPECT_EQ(result.exitCode, kStartupFailedAsSeen);
        EXPECT_EQ(result.err, c.line);
    }
}

} // namespace
