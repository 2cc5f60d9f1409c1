// A damaged registry file at start-up: garbage, a cut-off file, binary bytes, huge lines,
// a file past the reader's size limit, a folder in its place. The program still downloads,
// reports nothing about the registry, and keeps what it can't understand: the damaged file
// is saved byte for byte as registry.reg.damaged beside a new, well-formed version that
// holds the readable values and the program's location.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include <string>
#include <sys/resource.h>

#include "tests/faults/program_sandbox.h"
#include "tests/support/sanitized_build.h"
#include "tests/support/scripted_server.h"

namespace qb::faults {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";
constexpr const char* kSection = "[HKEY_CURRENT_USER\\Software\\Vr\\Quillbrook]\n";
constexpr size_t kHugeLine = 4u << 20;       // one line of 4 MiB
constexpr size_t kPastReadLimit = 17u << 20; // the platform reads at most 16 MiB

enum class Kind {
    kRewritten, // parsed in part: saved aside, rewritten with the readable values
    kKept,      // too large to rewrite without losing its rest: left exactly as it was
    kFolder,    // a folder where the file should be: left alone
};

struct DamageCase {
    const char* name;
    std::string (*content)();
    Kind kind;
    // A value of the damaged file that must survive the rewrite ("" for none).
    const char16_t* keptServer;
};

std::string Garbage() {
    return "this is not a registry\n{{{ ]]] \"\"\"\n=dword:zz\n\"FilePath\"=\"\\bin\\x\"\n";
}

std::string CutOff() {
    return std::string(kHeader) + kSection + "\"ProxyServer\"=\"kept.example\"\n" +
           "\"EnableProxy\"=dword:00000000\n\"ProxyPort\"=dwo";
}

std::string CutInsideAText() {
    return std::string(kHeader) + kSection + "\"ProxyServer\"=\"kept.example\"\n" +
           "\"Other\"=\"an unfinished te";
}

std::string Binary() {
    std::string bytes = Body(6000, 11);
    bytes.insert(0, std::string(kHeader) + kSection + "\"ProxyServer\"=\"kept.example\"\n");
    return bytes;
}

// As regedit exports: UTF-16 with its byte-order mark; then a line of junk and half a unit.
std::string Utf16WithOddLength() {
    std::string bytes = "\xFF\xFE";
    const std::string text =
        std::string(kHeader) + kSection + "\"ProxyServer\"=\"kept.example\"\r\n#junk#\r\n";
    for (char c : text) bytes += std::string(1, c) + '\0';
    bytes += "\x41";
    return bytes;
}

std::string HugeLine() {
    return std::string(kHeader) + kSection + "\"ProxyServer\"=\"kept.example\"\n\"Long\"=\"" +
           std::string(kHugeLine, 'x') + "\n";
}

std::string EndlessContinuation() {
    std::string text = std::string(kHeader) + kSection + "\"ProxyServer\"=\"kept.example\"\n";
    text += "\"Blob\"=hex:";
    for (int i = 0; i < 100000; ++i) text += "zz,\\\n";
    return text;
}

std::string PastTheReadLimit() {
    std::string text = std::string(kHeader) + kSection;
    while (text.size() < kPastReadLimit) text += "; a comment line that pads the file\n";
    return text;
}

std::string None() {
    return {};
}

class DamagedRegistry : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedRegistry, TheProgramRunsAndTheDamageIsKeptAside) {
    const DamageCase& c = GetParam();
    const std::string body = Body(2500, 13);
    ProgramSandbox box;
    ASSERT_TRUE(box.valid());
    const std::string damaged = c.content();
    if (c.kind == Kind::kFolder) {
        ASSERT_TRUE(test::makeDirectories(box.RegistryPath()));
    } else {
        ASSERT_TRUE(test::writeFile(box.RegistryPath(), damaged));
    }

    test::ScriptedServer server;
    server.setFallback(test::rangeResponder(body));
    ASSERT_TRUE(server.start());
    const test::ProcessResult run =
        box.Run("http://127.0.0.1:" + std::to_string(server.port()) + "/r.bin");
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, kExitDownloaded) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(box.Read("dir/r.bin") == body);

    const std::string savedPath = box.RegistryPath() + ".damaged";
    switch (c.kind) {
    case Kind::kRewritten: {
        EXPECT_TRUE(test::readFile(savedPath) == damaged) << "the damaged file was not kept";
        const std::optional<ParsedRegistry> registry = ParseRegistryFile(box.RegistryPath());
        ASSERT_TRUE(registry.has_value());
        EXPECT_EQ(registry->skippedLines, 0u);
        EXPECT_EQ(SettingsText(registry->document, u"FilePath"),
                  ProgramSandbox::DevicePathOf(ProgramSandbox::kProgramName));
        if (c.keptServer[0] != 0) {
            EXPECT_EQ(SettingsText(registry->document, u"ProxyServer"),
                      std::u16string(c.keptServer));
        }
        break;
    }
    case Kind::kKept:
        EXPECT_TRUE(test::readFile(box.RegistryPath()) == damaged) << "the file was changed";
        EXPECT_FALSE(test::readFile(savedPath).has_value());
        break;
    case Kind::kFolder:
        EXPECT_EQ(FolderEntries(box.RegistryPath()), std::vector<std::string>{});
        EXPECT_FALSE(test::readFile(savedPath).has_value());
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedRegistry,
    ::testing::Values(
        DamageCase{"Garbage", Garbage, Kind::kRewritten, u""},
        DamageCase{"CutOffInAType", CutOff, Kind::kRewritten, u"kept.example"},
        DamageCase{"CutOffInAText", CutInsideAText, Kind::kRewritten, u"kept.example"},
        DamageCase{"Binary", Binary, Kind::kRewritten, u"kept.example"},
        DamageCase{"Utf16WithOddLength", Utf16WithOddLength, Kind::kRewritten, u"kept.example"},
        DamageCase{"HugeLine", HugeLine, Kind::kRewritten, u"kept.example"},
        DamageCase{"EndlessContinuation", EndlessContinuation, Kind::kRewritten, u"kept.example"},
        DamageCase{"PastTheReadLimit", PastTheReadLimit, Kind::kKept, u""},
        DamageCase{"FolderInItsPlace", None, Kind::kFolder, u""}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

// A value another program wrote in Latin-1 rather than UTF-8 is not understood: rewriting
// it would turn its bad bytes into replacement characters, so the original is kept byte
// for byte beside the new version, as every other damaged file is.
TEST(DamagedRegistryText, BytesThatAreNoUtf8AreKeptAside) {
    const std::string damaged =
        std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\Other]\n\"Name\"=\"caf\xE9\"\n";
    const std::string body = Body(100, 2);
    ProgramSandbox box;
    ASSERT_TRUE(box.valid());
    ASSERT_TRUE(test::writeFile(box.RegistryPath(), damaged));
    test::ScriptedServer server;
    server.setFallback(test::rangeResponder(body));
    ASSERT_TRUE(server.start());
    const test::ProcessResult run =
        box.Run("http://127.0.0.1:" + std::to_string(server.port()) + "/r.bin");
    EXPECT_EQ(run.exitCode, kExitDownloaded) << run.err;
    EXPECT_TRUE(test::readFile(box.RegistryPath() + ".damaged") == damaged);
}

// A settings file that is large but well-formed (sections by the thousand, or values)
// starts as fast as a small one: it is parsed once, and keys and values are found by a
// lookup, not a search. The bound is on the processor time of the run, which a loaded
// machine does not stretch, and generous (sanitizers); the times are printed for the record.
constexpr size_t kReadLimit = 16u << 20;
constexpr auto kStartBound = std::chrono::seconds(10);

// The processor time (user and system) of the children waited for so far.
std::chrono::microseconds ChildrenTime() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto of = [](const timeval& t) {
        return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
    };
    return of(usage.ru_utime) + of(usage.ru_stime);
}

std::string ManySections(size_t count, size_t limit) {
    std::string text = std::string(kHeader) + kSection + "\"ProxyServer\"=\"kept.example\"\n";
    for (size_t i = 0; i < count && text.size() < limit - 100; ++i) {
        text += "[HKEY_CURRENT_USER\\Software\\Junk\\Section" + std::to_string(i) +
                "]\n\"V\"=dword:00000001\n";
    }
    return text;
}

std::string ManyValues(size_t limit) {
    std::string text = std::string(kHeader) + kSection;
    for (size_t i = 0; text.size() < limit - 100; ++i) {
        text += "\"Value" + std::to_string(i) + "\"=\"x\"\n";
    }
    return text + "\"ProxyServer\"=\"kept.example\"\n";
}

TEST(LargeRegistry, StartsInBoundedTime) {
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"20 000 sections", ManySections(20000, kReadLimit)},
        {"sections up to the read limit", ManySections(~size_t(0), kReadLimit)},
        // A quarter of the limit: a million values take seconds, more than the run limit
        // allows on a loaded machine.
        {"values in one section", ManyValues(kReadLimit / 4)},
    };
    const std::string body = Body(500, 3);
    test::ScriptedServer server;
    server.setFallback(test::rangeResponder(body));
    ASSERT_TRUE(server.start());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramSandbox box;
        ASSERT_TRUE(box.valid());
        ASSERT_TRUE(test::writeFile(box.RegistryPath(), c.content));
        const auto start = std::chrono::steady_clock::now();
        const auto processorBefore = ChildrenTime();
        const test::ProcessResult run =
            box.Run("http://127.0.0.1:" + std::to_string(server.port()) + "/r.bin");
        const auto processor = ChildrenTime() - processorBefore;
        const auto took = std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(run.started) << run.error;
        EXPECT_EQ(run.exitCode, kExitDownloaded) << run.err;
        EXPECT_TRUE(box.Read("dir/r.bin") == body);
        // A sanitized program is several times slower: there the figures are only printed.
        if (!test::kSanitizedBuild) {
            EXPECT_LT(processor, kStartBound);
        }
        using std::chrono::milliseconds;
        std::printf(
            "[ measured ] %s (%zu bytes): %lld ms processor, %lld ms elapsed\n", c.name,
            c.content.size(),
            static_cast<long long>(std::chrono::duration_cast<milliseconds>(processor).count()),
            static_cast<long long>(std::chrono::duration_cast<milliseconds>(took).count()));
        const std::optional<ParsedRegistry> registry = ParseRegistryFile(box.RegistryPath());
        ASSERT_TRUE(registry.has_value());
        EXPECT_EQ(SettingsText(registry->document, u"ProxyServer"), u"kept.example");
    }
}

} // namespace
} // namespace qb::faults
