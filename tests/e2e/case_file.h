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
    std::vector<DocFile> files;    // Nginx, Apache: the document root
    std::string certificate;       // Nginx, Apache: TLS with this test certificate ("" plain)
    bool ipv6Only = false;         // Nginx: listens on [::1] only
    std::string ratePrefix;        // Nginx: below this path prefix answers are sent at most
    uint64_t rateLimit = 0;        // at this many bytes per second (0: no limit)
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
        FileSizeIn,   // path, offset, count: the size is from offset to count bytes
        LogCount,     // server, count, text: so many lines of the access log hold text
        Signal,       // text: the program died of this signal ("TERM", "SEGV")
        TerminalBack, // the terminal as the shell had it, nothing of the program left on it
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

// One thing done to a program running in a terminal, or awaited there, in order. The waits
// poll the screen (15 s at most); ScreenLacks watches it for `count` ms.
struct TerminalStep {
    enum class Kind {
        Keys,         // keys: tmux key names
        Type,         // text: typed as it is
        Paste,        // text: pasted as a terminal pastes
        Click,        // text, count: a left press on text's first cell, its release count ms later
        Idle,         // count: nothing done for count ms, where the time is what is tested
        WatchSpeed,   // count, low, high: every speed shown for count ms lies in [low, high] bps
        Resize,       // count x rows: the pane's new size
        Signal,       // text: the signal sent to the program ("TERM", "SEGV")
        Release,      // server: ends one stall of the scripted server
        WaitScreen,   // text: the screen shows it
        WaitGone,     // text: the screen no longer shows it
        ScreenLacks,  // count, keys: the screen shows none of these texts at any look for count ms
        WaitField,    // label, text: the value beside the label is text (has: holds it)
        WaitGrows,    // label: its value's number passed the one the last WaitGrows saw
        WaitButtons,  // keys: labels, "-" before the disabled ones
        WaitCentred,  // text: the window of this caption is whole and centred in the pane
        WaitOnlyLine, // text: the screen shows one line only, which holds the text
        WaitList,     // text, keys: the framed list from the line holding text is exactly keys
        WaitSelected, // text, label: the item label right after text is highlighted
        WaitFinished, // server, count: so many of the scripted server's answers are over
    };
    Kind kind = Kind::Keys;
    std::vector<std::string> keys;
    std::string text;
    std::string label;
    std::string server;
    bool has = false;
    uint64_t count = 0;
    uint64_t rows = 0;
    uint64_t low = 0; // WatchSpeed: bits per second
    uint64_t high = 0;
    int line = 0;
    int calledAt = 0; // the line of the "do" that ran it from a "steps" group; 0: none
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
