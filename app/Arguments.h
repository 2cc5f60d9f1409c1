// The POSIX argument vector as the entry function wants it: the arguments joined with "&"
// into one query string. Before that, each argument is classified the way a shell user
// expects: -h/--help and -V/--version answer at once, a URL given alone (http:// or
// https://, any case) is the URL run parameter, and any other option or bare word is
// refused (a Key=value the program does not know is left for the run parameters to ignore).
#pragma once

#include <string>

enum class ArgumentsKind { kRun, kHelp, kVersion, kRefused };

struct Arguments {
    ArgumentsKind kind = ArgumentsKind::kRun;
    std::string joined;  // kRun: the command line, in the locale's code set
    std::string refused; // kRefused: the argument refused, as given
};

// True when text begins with "http://" or "https://", in any case.
bool IsBareUrl(const std::string& text);
// argv[1..argc-1]; the first -h/--help or -V/--version wins over everything else.
Arguments ReadArguments(int argc, const char* const* argv);
