// Runs every input kept in a fuzz target's corpus through the target once, so that the
// seeds and every crash found (kept there as a case) stay regression tests in the ordinary
// builds. QB_FUZZ_TARGET (an identifier) names the target's corpus folder and the test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

#define QB_FUZZ_TEXT(name) #name
#define QB_FUZZ_NAME(name) QB_FUZZ_TEXT(name)

namespace {

std::filesystem::path CorpusFolder() {
    const char* source = std::getenv("QB_SOURCE_DIR");
    return std::filesystem::path(source != nullptr ? source : ".") / "tests" / "fuzz" / "corpus" /
           QB_FUZZ_NAME(QB_FUZZ_TARGET);
}

TEST(FuzzCorpus, QB_FUZZ_TARGET) {
    const std::filesystem::path folder = CorpusFolder();
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << "no inputs in " << folder;
    for (const std::filesystem::path& file : files) {
        SCOPED_TRACE(file.string());
        std::ifstream in(file, std::ios::binary);
        ASSERT_TRUE(in) << file;
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        // A broken invariant aborts the whole test with the input's name on standard error.
        std::fprintf(stderr, "input %s\n", file.filename().c_str());
        EXPECT_EQ(
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
            0);
    }
}

} // namespace
