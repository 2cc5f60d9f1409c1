// Every tests/e2e/cases/*.case is one test: the program run as a process on a sandbox device
// against the servers the case describes (README.md has the format). A new case is a new file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <dirent.h>

#include "tests/e2e/case_file.h"
#include "tests/e2e/case_runner.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr char kCaseSuffix[] = ".case";

std::vector<std::string> CaseFiles() {
    std::vector<std::string> names;
    DIR* dir = ::opendir(QB_E2E_CASES_DIR);
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const size_t suffix = sizeof kCaseSuffix - 1;
        if (name.size() > suffix && name.compare(name.size() - suffix, suffix, kCaseSuffix) == 0)
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// "012-resume-after-reset.case" -> "012_resume_after_reset".
std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(0, info.param.size() - (sizeof kCaseSuffix - 1));
    for (char& c : name) {
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!plain) c = '_';
    }
    return name;
}

class WholeProcess : public ::testing::TestWithParam<std::string> {};

TEST_P(WholeProcess, Case) {
    const std::string path = std::string(QB_E2E_CASES_DIR) + "/" + GetParam();
    const auto text = qb::test::readFile(path);
    ASSERT_TRUE(text.has_value()) << "cannot read " << path;
    std::string error;
    const auto description = qb::test::e2e::parseCase(*text, error);
    ASSERT_TRUE(description.has_value()) << path << ": " << error;
    if (!description->title.empty()) RecordProperty("title", description->title);
    const char* windowsProgram = std::getenv("QB_WINDOWS_PROGRAM");
    qb::test::e2e::runCase({path, QB_PROGRAM, windowsProgram != nullptr ? windowsProgram : ""},
                           *description);
}

INSTANTIATE_TEST_SUITE_P(Cases, WholeProcess, ::testing::ValuesIn(CaseFiles()), TestName);

} // namespace
