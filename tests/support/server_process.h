// Starting a real server on a free loopback port, for NginxServer and TinyproxyServer.
// Internal to tests/support.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace qb::test::detail {

inline constexpr int kStartAttempts = 5;
inline constexpr Millis kAcceptLimit{10000};

// Picks a free port, lets configure(port) write the configuration and return the program's
// arguments, starts the program and waits until it accepts connections (on [::1] with ipv6).
// Another port is tried when the server ends before accepting (another process took the port).
// Returns the port, or 0 with error set (describe() adds the server's own log to it).
int startOnFreePort(ChildProcess& child, const std::string& program,
                    const std::function<std::vector<std::string>(int port)>& configure,
                    const std::function<std::string()>& describe, std::string& error,
                    bool ipv6 = false);

// The first of the paths that is an executable file, or empty.
std::string firstExecutable(const std::vector<std::string>& paths);

} // namespace qb::test::detail
