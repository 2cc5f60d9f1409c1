// Runs qb_scripted_server and reads back what it writes.
#include "tests/support/scripted_server_process.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace qb::test {
namespace {

constexpr Millis kPortPoll{5};

} // namespace

std::string ScriptedServerProcess::programPath() {
    const char* binaryDir = std::getenv("QB_BINARY_DIR");
    const std::string dir = binaryDir != nullptr && binaryDir[0] != '\0' ? binaryDir : QB_BUILD_DIR;
    return dir + "/qb_scripted_server";
}

ScriptedServerProcess::ScriptedServerProcess() : folder_("qb-scripted") {}

ScriptedServerProcess::~ScriptedServerProcess() {
    stop();
}

bool ScriptedServerProcess::start(std::string_view scriptText, Millis limit) {
    if (!folder_.write("script.txt", scriptText)) {
        error_ = "cannot write the script";
        return false;
    }
    const auto seconds = std::max<long long>(1, (limit.count() + 999) / 1000);
    if (!child_.start(programPath(),
                      {folder_.file("script.txt"), "--requests", folder_.file("requests.txt"),
                       "--port-file", folder_.file("port.txt"), "--limit",
                       std::to_string(seconds)})) {
        error_ = child_.error();
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kServerStartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const auto text = folder_.read("port.txt"); text && !text->empty()) {
            port_ = std::atoi(text->c_str());
            return port_ > 0;
        }
        if (!child_.running()) break;
        std::this_thread::sleep_for(kPortPoll);
    }
    error_ = "qb_scripted_server did not start: " + child_.errors();
    child_.stop();
    return false;
}

void ScriptedServerProcess::release() {
    if (child_.running()) ::kill(child_.pid(), SIGUSR1);
}

bool ScriptedServerProcess::waitForExit(Millis limit) {
    return child_.wait(limit);
}

void ScriptedServerProcess::stop() {
    child_.stop();
}

std::vector<RecordedRequest> ScriptedServerProcess::requests() const {
    return readRequestsFile(folder_.file("requests.txt")).value_or(std::vector<RecordedRequest>{});
}

} // namespace qb::test
