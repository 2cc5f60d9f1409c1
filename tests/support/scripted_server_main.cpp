// qb_scripted_server: the scripted HTTP server as a program of its own, for tests that run
// the real downloader against it as a separate process.
//
//   qb_scripted_server SCRIPT [--requests FILE] [--port-file FILE] [--limit SECONDS]
//
// It listens on 127.0.0.1 at a port the system picks and prints that port and a line feed on
// standard output (and into the port file, written at once when it is complete). It answers
// the connections in the order they are accepted, one script block each, and writes the
// recorded requests to the requests file whenever a connection has finished and again at
// exit. SIGUSR1 ends one stall (the running one, or the next to begin). It exits with 0 once
// every "connection" block has been served (never, when there is a "fallback" block) or on
// SIGTERM/SIGINT; 3 when the limit (default 120 s) passes first; 2 for a bad command line or
// script; 1 when it cannot listen.
//
// Script format: one keyword and its arguments per line; "#" outside quotes starts a comment;
// blank lines are ignored. TEXT is one or more double-quoted strings, joined, with the escapes
// \r \n \t \0 \\ \" \xHH; nothing else is added to them, so the bytes sent are exactly the
// bytes written. PATH is a quoted file name, relative ones taken from the script's folder.
// Times are in milliseconds.
//
//   connection              begins the block answering the next connection accepted
//   fallback                begins the block answering every connection beyond the others
//   at-once                 start without waiting for the request's header block (by
//                           default the block waits up to 5000 for the empty line)
//   send TEXT               send the bytes
//   send-file PATH          send the file's bytes
//   send-pieces SIZE PAUSE TEXT   send in pieces of SIZE bytes, PAUSE apart
//   pause TIME              wait, still reading what the client sends
//   stall [TIME]            send nothing until SIGUSR1, the client closes, or TIME (10000)
//   wait-bytes COUNT [TIME] wait until COUNT bytes have arrived on the connection (5000)
//   wait-head [TIME]        wait until the request's header block is complete (5000)
//   close                   close in order (FIN) now; the end of a block does the same
//   reset                   close with a reset (RST)
//   header TEXT TEXT        a header (name, value) for the following ok or range
//   ok TEXT | ok-file PATH  "HTTP/1.0 200 OK", Content-Length, the headers before it, body
//   range TEXT | range-file PATH
//                           serve the body by byte range: 206 with Content-Range for
//                           "Range: bytes=N-", 200 without a range, 416 from its end on;
//                           the block's only answer
//
// Example: a redirect, then a body in two pieces, then a connection that is reset.
//
//   connection
//     send "HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:8080/b\r\n\r\n"
//   connection
//     send "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n"
//     send-pieces 5 200 "01234" "56789"
//   connection
//     reset
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <pthread.h>

#include "tests/support/script_file.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace {

using qb::test::RecordedRequest;

constexpr int kExitDone = 0;
constexpr int kExitCannotListen = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLimit = 3;
constexpr long kDefaultLimitSeconds = 120;
constexpr long kTickNanoseconds = 50'000'000;

struct Arguments {
    std::string script;
    std::string requestsFile;
    std::string portFile;
    long limitSeconds = kDefaultLimitSeconds;
};

bool parseArguments(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--requests" && hasValue) {
            args.requestsFile = argv[++i];
        } else if (arg == "--port-file" && hasValue) {
            args.portFile = argv[++i];
        } else if (arg == "--limit" && hasValue) {
            char* end = nullptr;
            args.limitSeconds = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || args.limitSeconds <= 0) return false;
        } else if (args.script.empty() && !arg.empty() && arg[0] != '-') {
            args.script = arg;
        } else {
            return false;
        }
    }
    return !args.script.empty();
}

std::vector<RecordedRequest> finishedRequests(const qb::test::ScriptedServer& server) {
    std::vector<RecordedRequest> requests;
    const auto records = server.connections();
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].finished) requests.push_back({i + 1, records[i].request});
    }
    return requests;
}

void saveRequests(const Arguments& args, const qb::test::ScriptedServer& server) {
    if (!args.requestsFile.empty()) {
        qb::test::writeRequestsFile(args.requestsFile, finishedRequests(server));
    }
}

} // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!parseArguments(argc, argv, args)) {
        std::fprintf(stderr, "usage: qb_scripted_server SCRIPT [--requests FILE] "
                             "[--port-file FILE] [--limit SECONDS]\n");
        return kExitUsage;
    }
    std::string error;
    const auto script = qb::test::loadScriptFile(args.script, error);
    if (!script) {
        std::fprintf(stderr, "qb_scripted_server: %s: %s\n", args.script.c_str(), error.c_str());
        return kExitUsage;
    }

    // The signals are taken by sigtimedwait below, so no thread may receive them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int sig : {SIGTERM, SIGINT, SIGUSR1}) sigaddset(&signals, sig);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    qb::test::ScriptedServer server;
    qb::test::addScript(server, *script);
    if (!server.start()) {
        std::fprintf(stderr, "qb_scripted_server: cannot listen on 127.0.0.1\n");
        return kExitCannotListen;
    }
    const std::string portLine = std::to_string(server.port()) + "\n";
    std::fputs(portLine.c_str(), stdout);
    std::fflush(stdout);
    if (!args.portFile.empty()) {
        const std::string temporary = args.portFile + ".part";
        if (!qb::test::writeFile(temporary, portLine) ||
            std::rename(temporary.c_str(), args.portFile.c_str()) != 0) {
            std::fprintf(stderr, "qb_scripted_server: cannot write %s\n", args.portFile.c_str());
        }
    }

    const size_t scripted = script->connections.size();
    const bool endsByItself = !script->fallback;
    const std::time_t deadline = std::time(nullptr) + args.limitSeconds;
    size_t saved = 0;
    int exitCode = kExitDone;
    for (;;) {
        const size_t finished = server.finishedCount();
        if (finished != saved) {
            saveRequests(args, server);
            saved = finished;
        }
        if (endsByItself && finished >= scripted) break;
        if (std::time(nullptr) >= deadline) {
            std::fprintf(stderr, "qb_scripted_server: time limit reached\n");
            exitCode = kExitLimit;
            break;
        }
        const timespec tick{0, kTickNanoseconds};
        const int sig = sigtimedwait(&signals, nullptr, &tick);
        if (sig == SIGUSR1) {
            server.release();
        } else if (sig == SIGTERM || sig == SIGINT) {
            break;
        }
    }
    server.stop();
    saveRequests(args, server);
    return exitCode;
}
