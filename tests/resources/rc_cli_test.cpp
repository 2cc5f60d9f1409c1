// The qb_rc command as the build runs it: exit status, messages and the output file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr int kScriptError = 1;
constexpr int kUsageError = 2;

class RcCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qb_rc_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
    }
    bool exists(const std::string& name) { return access((dir_ + "/" + name).c_str(), F_OK) == 0; }
    std::string read(const std::string& name) {
        std::ifstream in(dir_ + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Runs qb_rc with the arguments; its standard error goes to *messages.
    int run(const std::string& arguments, std::string* messages) {
        std::string command = "cd '" + dir_ + "' && '" QB_RC_PATH "' " + arguments + " 2> err.txt";
        int status = std::system(command.c_str());
        *messages = read("err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string dir_;
};

TEST_F(RcCliTest, GoodScriptWritesTheTableSource) {
    write("ids.h", "#define IDD_ONE 1\n");
    write("good.rc", "#include \"ids.h\"\nIDD_ONE DIALOGEX 0, 0, 9, 9\nBEGIN\nEND\n");
    std::string messages;
    EXPECT_EQ(run("good.rc -o out.cpp", &messages), 0) << messages;
    EXPECT_EQ(messages, "");
    std::string source = read("out.cpp");
    EXPECT_NE(source.find("#include \"platform/resources/resource_table.h\""), std::string::npos);
    EXPECT_NE(source.find("{5, 1, 1033, kData0, sizeof kData0}"), std::string::npos) << source;
    EXPECT_NE(source.find("ResourceTableRegistration"), std::string::npos);
    EXPECT_FALSE(exists("out.cpp.tmp"));
}

TEST_F(RcCliTest, ScriptErrorsFailWithFileAndLineAndLeaveNoOutput) {
    struct Case {
        const char* script;
        const char* message;
    };
    const Case cases[] = {
        {"1 DIALOGEX 0, 0, 9, 9\nBEGIN\nEND\nFOO\n", "bad.rc:4: error: unknown statement 'FOO'"},
        {"1 DIALOGEX 0, 0, 9, 9\nCAPTION \"open\nBEGIN\nEND\n",
         "bad.rc:2: error: unterminated string"},
        {"\n\n1 BITMAP \"missing.bmp\"\n", "bad.rc:3: error: cannot open file 'missing.bmp'"},
    };
    for (const Case& c : cases) {
        write("bad.rc", c.script);
        write("out.cpp", "stale");
        std::string messages;
        EXPECT_EQ(run("bad.rc -o out.cpp", &messages), kScriptError) << c.script;
        EXPECT_EQ(messages, std::string(c.message) + "\n");
        EXPECT_FALSE(exists("out.cpp")) << c.script;
    }
}

TEST_F(RcCliTest, WrongCommandLinesAreRefused) {
    std::string messages;
    EXPECT_EQ(run("", &messages), kUsageError);
    EXPECT_NE(messages.find("usage: qb_rc"), std::string::npos);
    EXPECT_EQ(run("a.rc", &messages), kUsageError);
    EXPECT_EQ(run("a.rc -o", &messages), kUsageError);
    EXPECT_EQ(run("a.rc b.rc -o out.cpp", &messages), kUsageError);
    EXPECT_EQ(run("absent.rc -o out.cpp", &messages), kScriptError);
    EXPECT_EQ(messages, "absent.rc: error: cannot read the resource script\n");
}

TEST_F(RcCliTest, IncludeFoldersAreSearchedAfterTheScriptsOwn) {
    std::system(("mkdir '" + dir_ + "/inc'").c_str());
    write("inc/ids.h", "#define ID 7\n");
    write("good.rc", "#include \"ids.h\"\nID MENU BEGIN MENUITEM \"a\", 1 END\n");
    std::string messages;
    EXPECT_EQ(run("good.rc -o out.cpp", &messages), kScriptError);
    EXPECT_EQ(messages, "good.rc:1: error: cannot open include file 'ids.h'\n");
    EXPECT_EQ(run("good.rc -o out.cpp -I inc", &messages), 0) << messages;
    EXPECT_NE(read("out.cpp").find("{4, 7, 1033,"), std::string::npos);
}

} // namespace
