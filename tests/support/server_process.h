// Starting a real server on a free loopback port, and what the real servers' helpers share
// (NginxServer, TinyproxyServer, ApacheServer, SquidServer). Internal to tests/support; the
// e2e runner waits on the servers' logs with waitForText too.
#pragma once

#include <functional>
#include <string>
#include <string_view>
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

// text with every "{port}" replaced by port.
std::string replacePort(std::string text, int port);

// Waits until read() contains text (a log a server writes after answering); false when the
// limit passes first.
bool waitForText(const std::function<std::string()>& read, std::string_view text, Millis limit);

// "user:HASH" for a password file that Apache's authn_file and squid's basic_ncsa_auth both
// read (HASH from "openssl passwd -apr1"); empty when openssl failed.
std::string passwordLine(const std::string& user, const std::string& password);

// A server started as root drops to user: it gets the folder and what is in it, so it can
// write its logs there. Does nothing (true) when not root; false when user is unknown.
bool handFolderTo(const std::string& folder, const std::string& user);

} // namespace qb::test::detail
