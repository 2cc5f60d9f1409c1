// The whole-process case file: what the servers answer, the device before the run, the run
// parameters, and what must hold afterwards. The format is described in README.md; this is
// its parsed form. Texts are kept with their placeholders ("{port:web}"); they are resolved
// when the case runs (case_runner.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qb::test::e2e {

inline constexpr size_t kMaxCaseFileSize = 4u << 20;   // bytes of one case file
inline constexpr uint64_t kMaxDataSize = 64u << 20;    // bytes of one generated data item
inline constexpr uint64_t kMaxSparseSize = 1ull << 40; // apparent size of a sparse file
inline constexpr uint64_t kMaxRepeatCount = 1u << 20;  // copies of a repeated text
inline constexpr uint64_t kMaxTmpfsSize = 64u << 20;   // a tmpfs is memory: kept small
inline constexpr uint64_t kMaxIdleMs = 30000;          // a terminal step's own time

// Named bytes the servers send and the expectations compare with.
struct DataItem {
    enum class Kind { Pattern, Text, Repeat };
    std::string name;
    Kind kind = Kind::Text;
    uint64_t size = 0;   // Pattern: byte count; Repeat: copies
    uint64_t offset = 0; // Pattern: index of its first byte in the endless pattern
    std::string text;    // Text: the bytes; Repeat: the text repeated, "{i}" = 1..count
};

struct CaseServer {
    enum class Kind { Scripted, Nginx, Tinyproxy, Apache, Squid };
    std::string name;
    Kind kind = Kind::Scripted;
    std::string script; // Scripted: script text (qb_scripted_server format), placeholders kept
    struct DocFile {
        std::string path; // document-root path
        std::string data; // data item name
    };
    std::vector<DocFile> files; // Nginx, Apache: the document root
    // Nginx: locations (path prefixes) sent at most this many bytes per second.
    std::vector<std::pair<std::string, uint64_t>> limitRates;
    std::string certificate;       // Nginx, Apache: TLS with this test certificate ("" plain)
    bool ipv6Only = false;         // Nginx: listens on [::1] only
    std::vector<int> connectPorts; // Tinyproxy: the only ports it opens tunnels to
    std::optional<std::pair<std::string, std::string>> user; // Squid: wants these credentials
    std::vector<std::string> hostNames; // Squid: names it alone resolves (to 127.0.0.1)
    int line = 0;
};

// A file on the device (below its root) as it stands before a run. A Tmpfs is a folder with
// a small file system of its own mounted on it (a disk that fills up); named again, it is
// given the new size and keeps its files.
struct DeviceFile {
    enum class Kind { Data, Text, Sparse, Folder, Absent, Tmpfs, Link };
    std::string path;
    Kind kind = Kind::Text;
    std::string value; // Data: item name; Text: bytes; Link: the device path it points at
    uint64_t size = 0; // Sparse: apparent size; Tmpfs: bytes it holds
    int line = 0;
};

struct Expectation {
    enum class Kind {
        Exit,         // code
        Connections,  // server, count: connections seen so far
        Request,      // server, index, text: the request exactly
        RequestHas,   // server, index, text
        RequestLacks, // server, index, text
        FileData,     // path, data: whole content
        FileText,     // path, text: whole content
        FilePrefixOf, // path, data, size: the first size bytes of data (size 0: any length)
        FileSize,     // path, size
        FileSha256,   // path, text: lower-case hex
        FileAt,       // path, offset, data: bytes at offset
        NoFile,       // path
        ErrorsHave,   // text: on the program's standard error
        ErrorsLacks,  // text: not on it
        ErrorsEmpty,  //
        LogHas,       // server, text: a real server's access log has it
        LogLacks,     // server, text
        Time,         // offset, count: the run took at least offset and at most count ms
        CpuAtMost,    // count: the program used at most count ms of processor time
    };
    Kind kind = Kind::Exit;
    int code = 0;
    std::string server;
    uint64_t index = 0; // connection, from 1
    uint64_t count = 0;
    uint64_t offset = 0;
    std::string path;
    std::string text; // text, data name, or hash
    int line = 0;
};

// One thing done to a program running in a terminal, in order.
struct TerminalStep {
    enum class Kind { Keys, Type, WaitScreen, Idle, WatchSpeed };
    Kind kind = Kind::Keys;
    std::vector<std::string> keys; // Keys: tmux key names
    std::string text;              // Type: text typed; WaitScreen: text the screen must show
    uint64_t ms = 0;               // Idle, WatchSpeed: how long
    uint64_t low = 0, high = 0;    // WatchSpeed: every speed shown, in bits per second
    int line = 0;
};

struct CaseRun {
    // In a terminal (a tmux pane), for the interactive mode; else a plain process.
    bool terminal = false;
    std::vector<TerminalStep> steps;
    std::vector<std::string> args;          // placeholders kept
    std::vector<std::string> env;           // "NAME=value"
    std::optional<uint64_t> fileSizeBlocks; // ulimit -f
    std::string workDir;                    // device folder to start in; empty: the runner's own
    std::vector<DeviceFile> files;          // changed just before this run
    std::vector<Expectation> expectations;
    int line = 0;
};

struct CaseDescription {
    std::string title;
    // The one build the case runs on ("linux" or "windows"), and why; elsewhere it is skipped
    // with that reason.
    std::optional<std::string> onlyOn;
    std::string onlyBecause;
    std::vector<DataItem> data;
    std::vector<CaseServer> servers;
    std::optional<std::string> proxy; // server name the program's registry points to
    // The registry's proxy credentials (ProxyUser, ProxyPassword), with proxy.
    std::optional<std::pair<std::string, std::string>> proxyUser;
    std::vector<DeviceFile> files; // before the first run
    std::vector<CaseRun> runs;
};

// Parses case text. On failure returns nothing and sets error to "line N: what is wrong".
std::optional<CaseDescription> parseCase(std::string_view text, std::string& error);

// The bytes of a data item.
std::string dataBytes(const DataItem& item);
// Byte index of the endless pattern that Pattern items are cut from.
char patternByte(uint64_t index);

} // namespace qb::test::e2e
