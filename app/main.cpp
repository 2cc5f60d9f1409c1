// The POSIX entry: answers --help and --version, refuses options and bare words it does not
// know (app/Arguments.h), then turns argv into the command line the entry function expects
// (the arguments joined with "&", in UTF-16 from the locale's code set) and returns its exit
// code; the shell sees a negative code as 256 + code. The windows are shown in the terminal
// when standard input and output are one.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Arguments.h"
#include "app/Startup.h"
#include "core/AppState.h"
#include "qb/terminal.h"

namespace {

constexpr char kUsageLine[] =
    "usage: quillbrook [URL] [Key=value ...] | quillbrook --help | --version\n";

constexpr char kUsage[] =
    "usage: quillbrook [URL] [URL=...] [Path=...] [Caption=...] [ShowWindow=0|1] [Resume=0|1]\n"
    "                  [Retry=N] [Timeout=SECONDS] [Checksum=sha256:HEX|sha512:HEX]\n"
    "                  [MaxSpeed=N[k|M]] [ContentDisposition=0|1]\n"
    "       quillbrook 'URL=...&Path=...'\n"
    "       quillbrook -h | --help | -V | --version\n"
    "\n"
    "Without run parameters the download dialog opens for you to fill in (it needs a\n"
    "terminal). With any of them the download starts by itself; ShowWindow=0 runs it without\n"
    "a window. A first argument beginning with http:// or https:// is the URL, taken as\n"
    "typed; other options and words without \"=\" are refused, keys not known are ignored.\n"
    "URLs begin with http:// or https://; an IPv6 address goes in brackets\n"
    "(http://[::1]:8080/f.bin). https checks the server's certificate against the system's\n"
    "trust store (SSL_CERT_FILE and SSL_CERT_DIR are honoured) and nothing skips that check.\n"
    "The proxy set in the registry wins when on; else http_proxy (http), https_proxy or\n"
    "HTTPS_PROXY (https), all_proxy or ALL_PROXY (either; HTTP_PROXY is not read) as host:port\n"
    "or http://[user:pw@]host[:port] (port 1080 by default); no_proxy/NO_PROXY hosts go\n"
    "directly. https goes through the proxy in a CONNECT tunnel. Values may use\n"
    "percent-escapes (%26 for \"&\"). Path is a folder, or a folder and file name; one\n"
    "not beginning with / or \\ is taken from the current directory, where the file lands\n"
    "without Path. Retry=N tries again N times after a network failure (1, 2, 4 ... s apart,\n"
    "at most 30), each from what the file holds. Timeout=SECONDS bounds a connection and each\n"
    "wait for bytes (default 60; 0 waits forever). Checksum checks the whole file, also one\n"
    "found complete, against that SHA-256 or SHA-512 digest. MaxSpeed caps the transfer at N\n"
    "bytes per second (k and M are 1024 and 1048576; 0 no cap). ContentDisposition=1 names\n"
    "the file as the server's Content-Disposition header does, when that name is safe. Hidden,\n"
    "a failure writes the message and the URL as one line on standard error; without a\n"
    "terminal the window stays hidden.\n"
    "Exit codes: 0 interactive; 1 downloaded; 2 resumed or complete; -1 start-up failed (also\n"
    "the dialog without a terminal); -2 window closed early; -3 command line rejected; -4 out\n"
    "of memory; -5 writing failed; -6 connection or network failure (also a refused\n"
    "certificate); -7 no file name; -8 the file does not match its checksum.\n";

} // namespace

int main(int argc, char** argv) {
    const Arguments arguments = ReadArguments(argc, argv);
    switch (arguments.kind) {
    case ArgumentsKind::kVersion:
        std::printf("Quillbrook %s\n", QB_VERSION);
        return 0;
    case ArgumentsKind::kHelp:
        std::fputs(kUsage, stdout);
        return 0;
    case ArgumentsKind::kRefused:
        std::fprintf(stderr, "quillbrook: %s: %s\n%s", arguments.refused.c_str(),
                     arguments.refused[0] == '-' ? "unknown option" : "neither a URL nor Key=value",
                     kUsageLine);
        return kExitCommandLineRejected;
    case ArgumentsKind::kRun:
        break;
    }
    // Shows the windows in the terminal when there is one; otherwise the program runs
    // headless. The terminal is given back at exit.
    gWindowsSeen = qb::render::terminal::AttachIfTerminal() ? TRUE : FALSE;
    const std::string& joined = arguments.joined;
    const int units = MultiByteToWideChar(CP_ACP, 0, joined.c_str(), -1, nullptr, 0);
    if (units <= 0) {
        std::fputs("quillbrook: the command line is not text of this locale\n", stderr);
        return kExitCommandLineRejected;
    }
    std::vector<WCHAR> commandLine(static_cast<size_t>(units) + 1, 0);
    MultiByteToWideChar(CP_ACP, 0, joined.c_str(), -1, commandLine.data(), units);
    return QuillbrookMain(nullptr, commandLine.data());
}
