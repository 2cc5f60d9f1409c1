// The POSIX argument vector: what answers at once, what is refused, and the command line
// the rest becomes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Arguments.h"

namespace {

Arguments Read(std::vector<const char*> args) {
    args.insert(args.begin(), "quillbrook");
    return ReadArguments(int(args.size()), args.data());
}

TEST(ArgumentsTest, ClassifiesEachArgument) {
    using K = ArgumentsKind;
    const struct {
        std::vector<const char*> args;
        ArgumentsKind kind;
        std::string joined; // kRun
        std::string refused;
    } cases[] = {
        {{}, K::kRun, "", ""},
        {{"URL=http://h/f", "Path=/tmp"}, K::kRun, "URL=http://h/f&Path=/tmp", ""},
        {{"URL=http://h/f&Path=/tmp"}, K::kRun, "URL=http://h/f&Path=/tmp", ""},
        {{"Foo=bar"}, K::kRun, "Foo=bar", ""}, // unknown keys are the run parameters' to ignore
        // A bare URL, in any case, taken as typed: "%" and "&" survive the decoding.
        {{"http://h/f.bin"}, K::kRun, "URL=http://h/f.bin", ""},
        {{"HTTPS://h/f.bin", "Path=d"}, K::kRun, "URL=HTTPS://h/f.bin&Path=d", ""},
        {{"http://h/f?a=1&b=%41"}, K::kRun, "URL=http://h/f?a=1%26b=%2541", ""},
        {{"Path=d", "hTtP://h/f"}, K::kRun, "Path=d&URL=hTtP://h/f", ""},
        {{"", "URL=x"}, K::kRun, "&URL=x", ""},
        // Help and version answer first, wherever they stand.
        {{"-h"}, K::kHelp, "", ""},
        {{"URL=x", "--help", "-x"}, K::kHelp, "", ""},
        {{"-V", "bogus"}, K::kVersion, "", ""},
        {{"--version"}, K::kVersion, "", ""},
        // Other options and bare words are refused, never ignored.
        {{"--bogus"}, K::kRefused, "", "--bogus"},
        {{"URL=http://h/f", "-o"}, K::kRefused, "", "-o"},
        {{"-"}, K::kRefused, "", "-"},
        {{"-x=1"}, K::kRefused, "", "-x=1"},
        {{"file.bin"}, K::kRefused, "", "file.bin"},
        {{"ftp://h/f"}, K::kRefused, "", "ftp://h/f"},
        {{"http:/h/f"}, K::kRefused, "", "http:/h/f"},
        {{"ShowWindow"}, K::kRefused, "", "ShowWindow"},
    };
    for (const auto& c : cases) {
        const Arguments read = Read(c.args);
        const std::string first = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(read.kind, c.kind) << first;
        EXPECT_EQ(read.joined, c.joined) << first;
        EXPECT_EQ(read.refused, c.refused) << first;
    }
}

} // namespace
