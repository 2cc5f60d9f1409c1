// The program as users get it: installed into a prefix, packaged as a .deb and unpacked, and
// started through scripts/quillbrook from another folder. Each copy must answer --version and
// --help and download a file from a loopback server; the package must depend on the Debian
// packages of every library the program links, and lintian must find no error in it.
#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/process.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace {

using qb::test::ProcessOptions;
using qb::test::ProcessResult;
using qb::test::runProcess;

constexpr int kDownloaded = 1;
constexpr qb::test::Millis kToolLimit{300000}; // cpack and lintian on a busy machine

std::string Describe(const ProcessResult& result) {
    return "exit " + std::to_string(result.exitCode) + " signal " + std::to_string(result.signal) +
           (result.timedOut ? " (timed out)" : "") + " " + result.error + "\n" + result.out +
           result.err;
}

ProcessOptions LongRun() {
    ProcessOptions options;
    options.limit = kToolLimit;
    return options;
}

bool Available(const std::string& tool) {
    return runProcess("/bin/sh", {"-c", "command -v \"$0\"", tool}).exitCode == 0;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

// A copy of the program: --version and --help answer, and one hidden download lands whole.
void ExpectInstalledProgramWorks(const std::string& program) {
    qb::test::TempDir dir("qb-package-run");
    ProcessOptions options;
    options.env = {"QUILLBROOK_REGISTRY=" + dir.file("registry.reg"), "HOME=" + dir.path(),
                   "LANG=C"};
    options.unsetEnv = {"LC_ALL", "LC_MESSAGES", "LC_CTYPE", "QUILLBROOK_ROOT"};
    options.workDir = dir.path();

    const auto version = runProcess(program, {"--version"}, options);
    EXPECT_EQ(version.exitCode, 0) << Describe(version);
    EXPECT_EQ(version.out, "Quillbrook 1.15\n");
    const auto help = runProcess(program, {"--help"}, options);
    EXPECT_EQ(help.exitCode, 0) << Describe(help);
    EXPECT_NE(help.out.find("usage: quillbrook"), std::string::npos) << help.out;

    const std::string body = "installed and running\n";
    qb::test::ScriptedServer server;
    server.addReply(qb::test::okReply(body));
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(qb::test::makeDirectories(dir.file("out")));
    const auto download =
        runProcess(program,
                   {"URL=http://127.0.0.1:" + std::to_string(server.port()) + "/file.bin",
                    "Path=" + dir.file("out"), "ShowWindow=0"},
                   options);
    EXPECT_EQ(download.exitCode, kDownloaded) << Describe(download);
    EXPECT_EQ(dir.read("out/file.bin").value_or("<none>"), body);
}

void ExpectFiles(const std::string& root, const std::vector<std::string>& files) {
    for (const auto& file : files) {
        EXPECT_EQ(::access((root + "/" + file).c_str(), F_OK), 0) << file << " is missing";
    }
}

TEST(PackageTest, InstallIntoAPrefixGivesAWorkingProgram) {
    qb::test::TempDir prefix("qb-package-prefix");
    const auto install = runProcess(
        QB_CMAKE, {"--install", std::string(QB_BUILD_TREE), "--prefix", prefix.path()}, LongRun());
    ASSERT_EQ(install.exitCode, 0) << Describe(install);
    ExpectFiles(prefix.path(), {"bin/quillbrook", "share/man/man1/quillbrook.1",
                                "share/doc/quillbrook/README.md", "share/doc/quillbrook/LICENSE"});
    ExpectInstalledProgramWorks(prefix.file("bin/quillbrook"));
}

// The names a Depends field lists, without versions or architectures.
std::set<std::string> DependedPackages(const std::string& field) {
    std::set<std::string> names;
    std::string current;
    bool inName = true;
    for (const char c : field + ",") {
        if (c == ',' || c == '|') {
            if (!Trim(current).empty()) names.insert(Trim(current));
            current.clear();
            inName = true;
        } else if (c == '(' || c == ':') {
            inName = false;
        } else if (inName) {
            if (c == ' ' && !Trim(current).empty())
                inName = false;
            else
                current += c;
        }
    }
    return names;
}

// The shared libraries the program asks the loader for (its NEEDED entries).
std::vector<std::string> NeededLibraries(const std::string& program) {
    std::vector<std::string> needed;
    const auto dynamic = runProcess("readelf", {"--dynamic", "--wide", program});
    for (const auto& line : Lines(dynamic.out)) {
        if (line.find("(NEEDED)") == std::string::npos) continue;
        const size_t open = line.find('[');
        const size_t close = line.find(']', open);
        if (open != std::string::npos && close != std::string::npos) {
            needed.push_back(line.substr(open + 1, close - open - 1));
        }
    }
    return needed;
}

// The installed Debian packages that hold a file named soname.
std::set<std::string> OwnersOf(const std::string& soname) {
    std::set<std::string> owners;
    const auto search = runProcess("dpkg-query", {"--search", "*/" + soname});
    for (const auto& line : Lines(search.out)) {
        const size_t colonSpace = line.find(": ");
        if (colonSpace == std::string::npos) continue;
        const std::string path = line.substr(colonSpace + 2);
        if (path.size() < soname.size() + 1 ||
            path.compare(path.size() - soname.size() - 1, std::string::npos, "/" + soname) != 0) {
            continue;
        }
        std::istringstream packages(line.substr(0, colonSpace));
        for (std::string package; std::getline(packages, package, ',');) {
            package = Trim(package);
            owners.insert(package.substr(0, package.find(':')));
        }
    }
    return owners;
}

TEST(PackageTest, DebianPackageDependsOnWhatItLinksAndRunsUnpacked) {
    for (const char* tool : {"dpkg-deb", "dpkg-shlibdeps", "readelf", "lintian"}) {
        if (!Available(tool)) {
            GTEST_SKIP() << tool << " is missing (scripts/setup installs it)";
        }
    }
    qb::test::TempDir dir("qb-package-deb");
    const auto pack =
        runProcess(QB_CPACK,
                   {"-G", "DEB", "--config", std::string(QB_BUILD_TREE) + "/CPackConfig.cmake",
                    "-B", dir.path()},
                   LongRun());
    ASSERT_EQ(pack.exitCode, 0) << Describe(pack);
    const auto found = runProcess("/bin/sh", {"-c", "ls \"$0\"/*.deb", dir.path()});
    const auto debs = Lines(found.out);
    ASSERT_EQ(debs.size(), 1u) << found.out << found.err;
    const std::string deb = debs[0];

    const auto unpack = runProcess("dpkg-deb", {"-x", deb, dir.file("root")});
    ASSERT_EQ(unpack.exitCode, 0) << Describe(unpack);
    ExpectFiles(dir.file("root"),
                {"usr/bin/quillbrook", "usr/share/man/man1/quillbrook.1.gz",
                 "usr/share/doc/quillbrook/README.md", "usr/share/doc/quillbrook/copyright",
                 "usr/share/doc/quillbrook/changelog.gz"});
    const std::string program = dir.file("root/usr/bin/quillbrook");
    ExpectInstalledProgramWorks(program);

    const auto depends = runProcess("dpkg-deb", {"--field", deb, "Depends"});
    const auto packages = DependedPackages(depends.out);
    auto needed = NeededLibraries(program);
    EXPECT_FALSE(needed.empty()) << "readelf found no NEEDED entry in " << program;
    // Loaded when first needed, so not NEEDED: at the first secure socket, the first name
    // that is not ASCII.
    needed.push_back("libssl.so.3");
    needed.push_back("libidn2.so.0");
    for (const auto& library : needed) {
        const auto owners = OwnersOf(library);
        EXPECT_FALSE(owners.empty()) << "no installed package holds " << library;
        bool covered = false;
        for (const auto& owner : owners) covered = covered || packages.count(owner) > 0;
        EXPECT_TRUE(covered) << library << " is not covered by Depends: " << depends.out;
    }

    // Errors fail; warnings and notes are shown for the record.
    const auto lint =
        runProcess("lintian", {"--fail-on", "error", "--no-tag-display-limit", deb}, LongRun());
    EXPECT_EQ(lint.exitCode, 0) << Describe(lint);
    for (const auto& line : Lines(lint.out)) {
        EXPECT_NE(line.rfind("E: ", 0), 0u) << line;
        if (!line.empty()) std::cout << "lintian: " << line << "\n";
    }
}

TEST(PackageTest, ManualPageHasNoWarnings) {
    const std::string page = std::string(QB_SOURCE_TREE) + "/man/quillbrook.1";
    struct Checker {
        std::string tool;
        std::vector<std::string> args;
    };
    const std::vector<Checker> checkers = {
        {"mandoc", {"-T", "lint", "-W", "all", page}},
        {"groff", {"-t", "-man", "-ww", "-z", page}},
    };
    for (const auto& checker : checkers) {
        if (!Available(checker.tool)) {
            ADD_FAILURE() << checker.tool << " is missing (scripts/setup installs it)";
            continue;
        }
        const auto result = runProcess(checker.tool, checker.args);
        EXPECT_EQ(result.exitCode, 0) << checker.tool << ": " << Describe(result);
        EXPECT_EQ(result.out + result.err, "") << checker.tool;
    }
}

// scripts/quillbrook started by its path or through a link, from another folder, with
// arguments a shell would mangle if the script did not pass them through as they are.
TEST(PackageTest, LauncherRunsFromAnyFolderWithArgumentsUntouched) {
    const std::string launcher = std::string(QB_SOURCE_TREE) + "/scripts/quillbrook";
    qb::test::TempDir elsewhere("qb-package-launcher");
    ASSERT_EQ(::symlink(launcher.c_str(), elsewhere.file("qb").c_str()), 0);
    struct Case {
        std::string through;           // the path the script is called by
        std::vector<std::string> args; // {url} and {dir} are replaced
        std::string lands;             // where the file is, under {dir}
    };
    const std::vector<Case> cases = {
        {launcher,
         {"URL={url}", "Path={dir}/with spaces/", "ShowWindow=0"},
         "with spaces/file.bin"},
        {elsewhere.file("qb"), {"URL={url}&Path={dir}/日本語/&ShowWindow=0"}, "日本語/file.bin"},
        {launcher,
         {"URL={url}", "Path={dir}/100%25 $HOME `x`/", "ShowWindow=0"},
         "100% $HOME `x`/file.bin"},
        {elsewhere.file("qb"),
         {"URL={url}", "Path={dir}/a;b (c) 'd'/e;f.bin", "ShowWindow=0"},
         "a;b (c) 'd'/e;f.bin"},
    };
    for (const auto& c : cases) {
        qb::test::TempDir dir("qb-package-args");
        const std::string folder = c.lands.substr(0, c.lands.rfind('/'));
        ASSERT_TRUE(qb::test::makeDirectories(dir.file(folder)));
        qb::test::ScriptedServer server;
        server.addReply(qb::test::okReply("through the launcher"));
        ASSERT_TRUE(server.start());
        std::vector<std::string> args;
        for (std::string arg : c.args) {
            for (const auto& [name, value] :
                 {std::pair<std::string, std::string>{
                      "{url}", "http://127.0.0.1:" + std::to_string(server.port()) + "/file.bin"},
                  {"{dir}", dir.path()}}) {
                const size_t at = arg.find(name);
                if (at != std::string::npos) arg.replace(at, name.size(), value);
            }
            args.push_back(arg);
        }
        ProcessOptions options;
        options.env = {"QUILLBROOK_BUILD_DIR=" + std::string(QB_BUILD_TREE),
                       "QUILLBROOK_REGISTRY=" + dir.file("registry.reg"), "HOME=" + dir.path(),
                       "LANG=C"};
        options.unsetEnv = {"LC_ALL", "LC_MESSAGES", "LC_CTYPE", "QUILLBROOK_ROOT"};
        options.workDir = elsewhere.path();
        options.limit = kToolLimit;
        const auto result = runProcess(c.through, args, options);
        EXPECT_EQ(result.exitCode, kDownloaded) << c.lands << ": " << Describe(result);
        EXPECT_EQ(dir.read(c.lands).value_or("<none>"), "through the launcher") << c.lands;
    }
}

// scripts/setup with apt-get and id replaced: while the packages install, the policy in place
// refuses every service start; afterwards the policy that was there before (or none) is back,
// whether apt-get succeeded or not.
TEST(PackageTest, SetupStartsNoServiceAndPutsThePolicyBack) {
    struct Case {
        std::optional<std::string> before; // the policy-rc.d in place first
        int aptExit;
    };
    const std::vector<Case> cases = {
        {std::nullopt, 0},
        {"#!/bin/sh\nexit 0\n", 0},
        {"#!/bin/sh\nexit 0\n", 100},
        {std::nullopt, 100},
    };
    for (const auto& c : cases) {
        qb::test::TempDir dir("qb-package-setup");
        const std::string policy = dir.file("policy-rc.d");
        if (c.before) {
            ASSERT_TRUE(dir.write("policy-rc.d", *c.before));
        }
        // Only the tools the script itself uses: every package it looks for seems missing.
        ASSERT_TRUE(qb::test::makeDirectories(dir.file("bin")));
        for (const char* tool : {"bash", "flock", "grep", "cp", "mv", "rm", "chmod"}) {
            const auto where = runProcess("/bin/sh", {"-c", "command -v \"$0\"", tool});
            ASSERT_EQ(where.exitCode, 0) << tool;
            ASSERT_EQ(
                ::symlink(Trim(where.out).c_str(), dir.file(std::string("bin/") + tool).c_str()),
                0);
        }
        ASSERT_TRUE(dir.write("bin/id", "#!/bin/sh\necho 0\n"));
        ASSERT_TRUE(dir.write("bin/apt-get", "#!/bin/sh\n"
                                             "[ \"$1\" = install ] || exit 0\n"
                                             "\"$QB_POLICY_RC_D\" nginx start\n"
                                             "echo \"policy $?\" >>\"$QB_LOG\"\n"
                                             "exit " +
                                                 std::to_string(c.aptExit) + "\n"));
        for (const char* stub : {"bin/id", "bin/apt-get"}) {
            ASSERT_EQ(::chmod(dir.file(stub).c_str(), 0755), 0);
        }
        ProcessOptions options;
        options.env = {"PATH=" + dir.file("bin"), "QB_POLICY_RC_D=" + policy,
                       "QB_LOG=" + dir.file("log")};
        const auto setup =
            runProcess("/bin/bash", {std::string(QB_SOURCE_TREE) + "/scripts/setup"}, options);
        EXPECT_EQ(setup.exitCode == 0, c.aptExit == 0) << Describe(setup);
        EXPECT_EQ(dir.read("log").value_or("<none>"), "policy 101\n");
        EXPECT_EQ(dir.read("policy-rc.d"), c.before);
        EXPECT_NE(::access((policy + ".quillbrook-saved").c_str(), F_OK), 0);
    }
}

} // namespace
