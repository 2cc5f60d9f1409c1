// qb_rc: compiles a resource script into a C++ source holding the resource table.
//
//     qb_rc INPUT.rc -o OUTPUT.cpp [-I DIR]...
//
// Exit status 0 on success, 1 when the script has an error (reported as file:line), 2 for
// a wrong command line. On failure the output file is left absent, so the build stops.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/rc/rc_codegen.h"
#include "tools/rc/rc_compile.h"
#include "tools/rc/rc_disk.h"
#include "tools/rc/rc_parser.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitScriptError = 1;
constexpr int kExitUsage = 2;

int usage() {
    std::cerr << "usage: qb_rc INPUT.rc -o OUTPUT.cpp [-I DIR]...\n";
    return kExitUsage;
}

int report(const qb::rc::Diagnostic& error) {
    std::cerr << error.format() << "\n";
    return kExitScriptError;
}

// Writes beside the target and renames, so a reader never sees half a file.
bool writeFile(const std::string& path, const std::string& text) {
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text;
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string input, output;
    std::vector<std::string> includeDirs;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if (arg == "-I" && i + 1 < argc) {
            includeDirs.push_back(argv[++i]);
        } else if (!arg.empty() && arg[0] != '-' && input.empty()) {
            input = arg;
        } else {
            return usage();
        }
    }
    if (input.empty() || output.empty()) return usage();
    std::remove(output.c_str());

    std::string text;
    if (!qb::rc::readWholeFile(input, &text))
        return report({input, 0, "cannot read the resource script"});
    qb::rc::FileLoader loader = qb::rc::diskLoader(includeDirs);
    qb::rc::ResourceScript script;
    qb::rc::Diagnostic error;
    if (!qb::rc::parseResourceScript(input, text, loader, &script, &error)) return report(error);
    std::vector<qb::rc::BinaryResource> resources;
    if (!qb::rc::compileResources(script, loader, &resources, &error)) return report(error);
    if (!writeFile(output, qb::rc::generateSource(resources, input)))
        return report({output, 0, "cannot write the output file"});
    return kExitSuccess;
}
