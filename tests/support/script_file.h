// The text format of qb_scripted_server's scripts, and the file it writes the recorded
// requests to. The format is described at the top of scripted_server_main.cpp and in
// README.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/scripted_reply.h"
#include "tests/support/scripted_server.h"

namespace qb::test {

inline constexpr size_t kMaxScriptLine = 1u << 20; // longest script line, in bytes

// One word or quoted string of a script line; quoted strings have their escapes resolved.
struct ScriptToken {
    bool quoted = false;
    std::string text;
};
// Splits a line into words and quoted strings (escapes as in scripts); "#" outside quotes
// ends it. False and error on an unterminated string or a bad escape. Other line-based
// test formats share it, so their texts are written the same way.
bool tokenizeScriptLine(std::string_view line, std::vector<ScriptToken>& tokens,
                        std::string& error);

// Reads the arguments of one tokenized line, from the token after its keyword. Each read
// takes the next token when it is what the read wants; otherwise it sets error and returns
// false, so a parser writes `reader.quoted(x) || fail(reader.error)`.
struct ScriptLineReader {
    std::vector<ScriptToken> tokens;
    size_t next = 1;
    std::string error;

    void reset(std::vector<ScriptToken> line);
    bool atEnd() const { return next >= tokens.size(); }
    bool word(std::string& out, const char* what);
    bool quoted(std::string& out);
    // One or more quoted strings, joined, to the end of the line.
    bool text(std::string& out);
    bool number(uint64_t& value);
    bool signedNumber(int& value);
    bool noMore();
    bool fail(std::string what);
};

struct ScriptEntry {
    Responder responder;
    bool waitForHead = true;
};

struct Script {
    std::vector<ScriptEntry> connections; // in order of acceptance
    std::optional<ScriptEntry> fallback;  // for connections beyond them
};

// Parses script text; relative file names are taken from baseDir. On failure returns nothing
// and sets error to "line N: what is wrong".
std::optional<Script> parseScript(std::string_view text, const std::string& baseDir,
                                  std::string& error);
// Reads and parses a script file (base folder: the file's own).
std::optional<Script> loadScriptFile(const std::string& path, std::string& error);
// Adds the script's answers to the server, in order.
void addScript(ScriptedServer& server, const Script& script);

// bytes as a quoted script string ("..." with escapes), for tests that write scripts.
std::string quoteBytes(std::string_view bytes);

// The requests file: for each connection, the line "connection N request LENGTH" (N counts
// from 1), the LENGTH request bytes exactly, and a line feed.
struct RecordedRequest {
    size_t connection = 0; // from 1
    std::string bytes;
};
std::string formatRequests(const std::vector<RecordedRequest>& requests);
// Replaces the file at once (temporary file and rename), so a reader never sees half of it.
bool writeRequestsFile(const std::string& path, const std::vector<RecordedRequest>& requests);
// Nothing when the file is missing or malformed.
std::optional<std::vector<RecordedRequest>> readRequestsFile(const std::string& path);
std::optional<std::vector<RecordedRequest>> parseRequests(std::string_view text);

} // namespace qb::test
