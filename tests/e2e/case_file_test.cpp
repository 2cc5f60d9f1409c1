// The case format itself: continued lines, server blocks and the errors a case writer meets.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/case_file.h"

namespace {

using qb::test::e2e::CaseDescription;
using qb::test::e2e::dataBytes;
using qb::test::e2e::DataItem;
using qb::test::e2e::parseCase;

constexpr char kMinimalRun[] = "run\n  args \"URL=x\"\n  expect exit 1\n";

TEST(CaseFile, QuotedLinesContinueTheStatementAboveInBlocksToo) {
    std::string error;
    const auto description = parseCase("server web\n"
                                       "  connection\n"
                                       "    send \"HTTP/1.0 200 OK\\r\\n\"\n"
                                       "         \"\\r\\n\"\n"
                                       "  # a comment keeps its line\n"
                                       "    close\n"
                                       "end\n"
                                       "run\n"
                                       "  args \"URL=a\" \"Path=/b\"\n"
                                       "  expect request web 1 \"GET / HTTP/1.0\\n\"\n"
                                       "                       \"\\n\"\n"
                                       "  expect exit -6\n",
                                       error);
    ASSERT_TRUE(description.has_value()) << error;
    EXPECT_FALSE(description->onlyOn.has_value());
    ASSERT_EQ(description->servers.size(), 1u);
    // Four lines, as in the case file, so script errors point at the right line.
    EXPECT_EQ(description->servers[0].script,
              "  connection\n"
              "    send \"HTTP/1.0 200 OK\\r\\n\"          \"\\r\\n\"\n"
              "\n"
              "  # a comment keeps its line\n"
              "    close\n");
    ASSERT_EQ(description->runs.size(), 1u);
    EXPECT_EQ(description->runs[0].args, (std::vector<std::string>{"URL=a", "Path=/b"}));
    ASSERT_EQ(description->runs[0].expectations.size(), 2u);
    EXPECT_EQ(description->runs[0].expectations[0].text, "GET / HTTP/1.0\n\n");
    EXPECT_EQ(description->runs[0].expectations[1].code, -6);
}

TEST(CaseFile, MistakesAreNamedWithTheirLine) {
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"title \"t\"\nbogus 1\n", "line 2: unknown keyword \"bogus\""},
        {"server web\n  connection\n", "\"web\" has no \"end\""},
        {"folder \"d\"\nfile \"d/f\" data missing\n" + std::string(kMinimalRun),
         "line 2: no data item missing"},
        {"run\n  args \"URL=x\"\n", "line 1: a run needs"},
        {"run\n  keys \"Tab\"\n", "line 2: \"keys\" needs \"terminal\" first"},
        {std::string(kMinimalRun) + "  expect request nobody 1 \"x\"\n",
         "line 4: no server nobody"},
        {std::string(kMinimalRun) + "  expect request web 0 \"x\"\n", "connections count from 1"},
        {"data a text \"x\"\ndata a text \"y\"\n", "line 2: a second data item a"},
        {"only macos \"why\"\n" + std::string(kMinimalRun), "line 1: no build named macos"},
        {"only linux \"a\"\nonly windows \"b\"\n" + std::string(kMinimalRun),
         "line 2: a second only"},
        {"tmpfs \"d\" 0\n" + std::string(kMinimalRun), "line 1: tmpfs size out of range"},
        {"tmpfs \"d\" 67108865\n" + std::string(kMinimalRun), "line 1: tmpfs size out of range"},
        {"server p\nend\nproxy p user\n" + std::string(kMinimalRun), "line 3:"},
        {"server p\nend\nproxy p realm \"r\"\n" + std::string(kMinimalRun),
         "line 3: proxy takes only user \"USER\" password \"PASSWORD\""},
        {"", "no \"run\""},
        {"apache web ipv6-only\nend\n" + std::string(kMinimalRun),
         "line 1: unknown apache option \"ipv6-only\""},
        {"apache web\n  send \"x\"\nend\n" + std::string(kMinimalRun),
         "line 2: an nginx or apache block holds only"},
        {"squid p hosts\n" + std::string(kMinimalRun), "line 1: hosts names no host"},
        {"squid p auth \"u\"\n" + std::string(kMinimalRun), "line 1: a quoted text is missing"},
        {"squid p hosts a.invalid auth \"u\" \"p\"\n" + std::string(kMinimalRun),
         "line 1: a host name is missing"},
        {"squid p tls loopback\n" + std::string(kMinimalRun), "line 1: squid takes auth"},
        {"squid p\nproxy p user \"u\"\n" + std::string(kMinimalRun),
         "line 2: proxy takes only user"},
        {std::string(kMinimalRun) + "  expect log-has nobody \"x\"\n", "line 4: no server nobody"},
        // Terminal steps and the groups "do" runs.
        {"steps a\n  keys \"Tab\"\n", "line 1: steps a have no \"end\""},
        {"steps a\n  args \"x\"\nend\n", "line 2: \"args\" is not a terminal step"},
        {"steps a\nend\nsteps a\nend\n", "line 3: a second steps a"},
        {"run\n  terminal\n  do missing\n  expect exit 0\n", "line 3: no steps missing above"},
        {"run\n  do a\n", "line 2: \"do\" needs \"terminal\" first"},
        {"run\n  terminal\n  signal KILL\n", "line 3: signal is TERM or SEGV"},
        {"run\n  terminal\n  resize 0 25\n", "line 3: pane size out of range"},
        {"run\n  click \"Start\"\n", "line 2: \"click\" needs \"terminal\" first"},
        {"run\n  terminal\n  click \"Start\" soon\n", "line 3: not a number: soon"},
        {"run\n  idle 10\n", "line 2: \"idle\" needs \"terminal\" first"},
        {"run\n  terminal\n  idle 30001\n", "line 3: a time from 1 to 30000 ms"},
        {"run\n  terminal\n  watch-speed 100 5 4\n", "line 3: watch-speed takes MS LOW HIGH"},
        {"run\n  terminal\n  wait-field \"Bytes\" is \"1\"\n", "line 3: wait-field LABEL"},
        {"run\n  terminal\n  screen-lacks 20000 \"x\"\n", "line 3: watched for more than"},
        {"run\n  terminal\n  release nobody\n  expect exit 0\n", "line 3: no server nobody"},
        {"run\n  args \"URL=x\"\n  expect signal TERM\n", "line 3: \"expect signal\" needs"},
        {"run\n  terminal\n  expect terminal-back\n", "line 1: a run needs"},
        {"nginx web limit-rate \"/s/ { }\" 1\nend\n" + std::string(kMinimalRun),
         "line 1: limit-rate's path prefix"},
        {std::string(kMinimalRun) + "  expect file \"f\" size-in 5 4\n", "line 4: size-in MIN MAX"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseCase(c.text, error).has_value()) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << "\n gave: " << error;
    }
}

TEST(CaseFile, RealPeersTheirOptionsAndTheirLogs) {
    std::string error;
    const auto description = parseCase("data d text \"x\"\n"
                                       "apache web tls loopback\n"
                                       "  file \"dir/日本 語.bin\" d\n"
                                       "end\n"
                                       "squid open\n"
                                       "squid closed auth \"u\" \"p w\" hosts a.invalid b.invalid\n"
                                       "proxy closed user \"u\" password \"p w\"\n"
                                       "run\n"
                                       "  env \"http_proxy=http://127.0.0.1:{port:open}\"\n"
                                       "  args \"URL=x\"\n"
                                       "  expect exit 1\n"
                                       "  expect log-has web \"GET /\"\n"
                                       "  expect log-lacks open \"GET\"\n"
                                       "  expect stderr-lacks \"Failed\"\n",
                                       error);
    ASSERT_TRUE(description.has_value()) << error;
    using Kind = qb::test::e2e::CaseServer::Kind;
    ASSERT_EQ(description->servers.size(), 3u);
    const auto& web = description->servers[0];
    EXPECT_EQ(web.kind, Kind::Apache);
    EXPECT_EQ(web.certificate, "loopback");
    ASSERT_EQ(web.files.size(), 1u);
    EXPECT_EQ(web.files[0].path, "dir/日本 語.bin");
    EXPECT_EQ(description->servers[1].kind, Kind::Squid);
    EXPECT_FALSE(description->servers[1].user.has_value());
    const auto& closed = description->servers[2];
    EXPECT_EQ(closed.user, (std::pair<std::string, std::string>{"u", "p w"}));
    EXPECT_EQ(closed.hostNames, (std::vector<std::string>{"a.invalid", "b.invalid"}));
    EXPECT_EQ(description->proxy, "closed");
    EXPECT_EQ(description->proxyUser, (std::pair<std::string, std::string>{"u", "p w"}));
    // Placeholders are kept until the case runs.
    EXPECT_EQ(description->runs[0].env[0], "http_proxy=http://127.0.0.1:{port:open}");
    using E = qb::test::e2e::Expectation::Kind;
    const auto& expectations = description->runs[0].expectations;
    ASSERT_EQ(expectations.size(), 4u);
    EXPECT_EQ(expectations[1].kind, E::LogHas);
    EXPECT_EQ(expectations[1].server, "web");
    EXPECT_EQ(expectations[2].kind, E::LogLacks);
    EXPECT_EQ(expectations[3].kind, E::ErrorsLacks);
}

// A group of steps is copied into each run that does it, its lines kept and the "do" noted,
// so a failure names both.
TEST(CaseFile, TerminalStepsAndTheirGroups) {
    std::string error;
    const auto description = parseCase("server slow\nend\n"
                                       "steps start\n"
                                       "  wait-field \"Bytes\" \"\"\n"
                                       "  wait-field \"Speed\" has \"bps\"\n"
                                       "end\n"
                                       "run\n"
                                       "  terminal\n"
                                       "  do start\n"
                                       "  screen-lacks 500 \"a\" \"b\"\n"
                                       "  wait-buttons \"Start\" \"-Stop\"\n"
                                       "  resize 30 10\n"
                                       "  wait-finished slow 2\n"
                                       "  do start\n"
                                       "  click \"Start\" 300\n"
                                       "  click \"開始\"\n"
                                       "  idle 10000\n"
                                       "  watch-speed 4000 1680000 3120000\n"
                                       "  expect signal SEGV\n"
                                       "  expect terminal-back\n",
                                       error);
    ASSERT_TRUE(description.has_value()) << error;
    using K = qb::test::e2e::TerminalStep::Kind;
    const auto& steps = description->runs[0].steps;
    ASSERT_EQ(steps.size(), 12u);
    EXPECT_EQ(steps[0].kind, K::WaitField);
    EXPECT_EQ(steps[0].label, "Bytes");
    EXPECT_EQ(steps[0].text, "");
    EXPECT_FALSE(steps[0].has);
    EXPECT_TRUE(steps[1].has);
    EXPECT_EQ(steps[1].line, 5);
    EXPECT_EQ(steps[1].calledAt, 9);
    EXPECT_EQ(steps[2].kind, K::ScreenLacks);
    EXPECT_EQ(steps[2].count, 500u);
    EXPECT_EQ(steps[2].keys, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(steps[3].keys, (std::vector<std::string>{"Start", "-Stop"}));
    EXPECT_EQ(steps[4].count, 30u);
    EXPECT_EQ(steps[4].rows, 10u);
    EXPECT_EQ(steps[5].server, "slow");
    EXPECT_EQ(steps[5].count, 2u);
    EXPECT_EQ(steps[7].line, 5);
    EXPECT_EQ(steps[7].calledAt, 14);
    EXPECT_EQ(steps[8].kind, K::Click);
    EXPECT_EQ(steps[8].text, "Start");
    EXPECT_EQ(steps[8].count, 300u); // press and release a person's click apart
    EXPECT_EQ(steps[9].count, 0u);   // both at once
    EXPECT_EQ(steps[10].kind, K::Idle);
    EXPECT_EQ(steps[10].count, 10000u);
    EXPECT_EQ(steps[11].kind, K::WatchSpeed);
    EXPECT_EQ(steps[11].low, 1680000u);
    EXPECT_EQ(steps[11].high, 3120000u);
    using E = qb::test::e2e::Expectation::Kind;
    ASSERT_EQ(description->runs[0].expectations.size(), 2u);
    EXPECT_EQ(description->runs[0].expectations[0].kind, E::Signal);
    EXPECT_EQ(description->runs[0].expectations[1].kind, E::TerminalBack);
}

TEST(CaseFile, PatternPiecesAreSlicesOfOnePattern) {
    DataItem whole{"whole", DataItem::Kind::Pattern, 5000, 0, {}};
    DataItem piece{"piece", DataItem::Kind::Pattern, 300, 4321, {}};
    EXPECT_EQ(dataBytes(piece), dataBytes(whole).substr(4321, 300));
    // Not a short cycle: a piece shifted by one does not match.
    DataItem shifted{"shifted", DataItem::Kind::Pattern, 300, 4322, {}};
    EXPECT_NE(dataBytes(shifted), dataBytes(piece));
}

TEST(CaseFile, RepeatNumbersItsCopies) {
    DataItem headers{"h", DataItem::Kind::Repeat, 3, 0, "X-{i}: {i}\r\n"};
    EXPECT_EQ(dataBytes(headers), "X-1: 1\r\nX-2: 2\r\nX-3: 3\r\n");
}

} // namespace
