// The POSIX entry: answers --help and --version, then turns argv into the command line the
// entry function expects (the arguments joined with "&", in UTF-16 from the locale's code
// set) and returns its exit code; the shell sees a negative code as 256 + code. The
// windows are shown in the terminal when standard input and output are one.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/Startup.h"
#include "qb/terminal.h"

namespace {

constexpr char kUsage[] =
    "usage: quillbrook [URL=...] [Path=...] [Caption=...] [ShowWindow=0|1] [Resume=0|1]\n"
    "                  [Retry=N] [Timeout=SECONDS]\n"
    "       quillbrook 'URL=...&Path=...'\n"
    "       quillbrook --help | --version\n"
    "\n"
    "Without run parameters the download dialog opens for you to fill in. With any of them\n"
    "the download starts by itself; ShowWindow=0 runs it without a window. URLs begin with\n"
    "http:// or https://; an IPv6 address goes in brackets (http://[::1]:8080/f.bin). https\n"
    "checks the server's certificate against the system's trust store (SSL_CERT_FILE and\n"
    "SSL_CERT_DIR are honoured) and nothing skips that check. The proxy set in the registry\n"
    "wins when on; else http_proxy (http), https_proxy or HTTPS_PROXY (https), all_proxy or\n"
    "ALL_PROXY (either; HTTP_PROXY is not read) as host:port or http://[user:pw@]host[:port]\n"
    "(port 1080 by default); no_proxy/NO_PROXY hosts go directly. https goes through the\n"
    "proxy in a CONNECT tunnel. Values may use percent-escapes (%26 for\n"
    "\"&\"). Retry=N tries again N times after a network failure (1, 2, 4 ... s apart, at\n"
    "most 30), each from what the file holds. Timeout=SECONDS bounds a connection and each\n"
    "wait for bytes (default 60; 0 waits forever). Hidden, a failure writes the message and\n"
    "the URL as one line on standard error; without a terminal the window stays hidden.\n"
    "Exit codes: 0 interactive; 1 downloaded; 2 resumed or complete; -1 start-up failed;\n"
    "-2 window closed early; -3 command line rejected; -4 out of memory; -5 writing failed;\n"
    "-6 connection or network failure (also a refused certificate); -7 no file name.\n";

std::string JoinArguments(int argc, char** argv) {
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) joined += '&';
        joined += argv[i];
    }
    return joined;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Quillbrook %s\n", QB_VERSION);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // Shows the windows in the terminal when there is one; otherwise the program runs
    // headless. The terminal is given back at exit.
    gWindowsSeen = qb::render::terminal::AttachIfTerminal() ? TRUE : FALSE;
    const std::string joined = JoinArguments(argc, argv);
    const int units = MultiByteToWideChar(CP_ACP, 0, joined.c_str(), -1, nullptr, 0);
    if (units <= 0) {
        std::fputs("quillbrook: the command line is not text of this locale\n", stderr);
        return kExitCommandLineRejected;
    }
    std::vector<WCHAR> commandLine(static_cast<size_t>(units) + 1, 0);
    MultiByteToWideChar(CP_ACP, 0, joined.c_str(), -1, commandLine.data(), units);
    return QuillbrookMain(nullptr, commandLine.data());
}
