#include "tests/faults/program_sandbox.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <windows.h>

#include "platform/registry/registry_text.h"

namespace qb::faults {
namespace {

constexpr mode_t kProgramMode = 0755;
constexpr const char16_t* kSettingsKey = u"HKEY_CURRENT_USER\\Software\\Vr\\Quillbrook";
constexpr const char16_t* kOtherKey = u"HKEY_CURRENT_USER\\Software\\Other\\Tool";

// A hard link when the build and the sandbox share a file system, else a copy.
bool LinkOrCopy(const std::string& from, const std::string& to) {
    if (link(from.c_str(), to.c_str()) == 0) return true;
    const std::optional<std::string> bytes = test::readFile(from);
    return bytes && test::writeFile(to, *bytes) && chmod(to.c_str(), kProgramMode) == 0;
}

const registry::RegistryValue* SettingsValue(const registry::RegistryDocument& document,
                                             std::u16string_view name) {
    const registry::RegistryKey* key = document.FindKey(kSettingsKey);
    return key == nullptr ? nullptr : registry::RegistryDocument::FindValue(*key, name);
}

} // namespace

std::string Body(size_t size, unsigned seed) {
    std::string body(size, '\0');
    uint32_t state = 2463534242u ^ (seed * 2654435761u);
    for (size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        body[i] = static_cast<char>(state & 0xFF);
    }
    return body;
}

ProgramSandbox::ProgramSandbox(std::string_view prefix) : dir_(prefix) {
    valid_ = dir_.valid() && test::makeDirectories(dir_.file("root/dir")) &&
             test::makeDirectories(dir_.file("root/bin")) && InstallProgram(kProgramName);
}

bool ProgramSandbox::InstallProgram(const std::string& name) {
    return LinkOrCopy(QB_PROGRAM, dir_.file("root/bin/" + name));
}

std::u16string ProgramSandbox::DevicePathOf(const std::string& name) {
    std::u16string path = u"\\bin\\";
    for (char c : name) path.push_back(static_cast<char16_t>(c)); // ASCII names only
    return path;
}

std::string ProgramSandbox::Host(std::string_view devicePath) const {
    while (!devicePath.empty() && devicePath.front() == '/') devicePath.remove_prefix(1);
    return dir_.file("root/" + std::string(devicePath));
}

std::optional<std::string> ProgramSandbox::Read(std::string_view devicePath) const {
    return test::readFile(Host(devicePath));
}

bool ProgramSandbox::Write(std::string_view devicePath, std::string_view bytes) const {
    return test::writeFile(Host(devicePath), bytes);
}

ProgramSandbox::Launch ProgramSandbox::Prepare(const std::string& url, const std::string& path,
                                               const std::vector<std::string>& extra,
                                               const Fault& fault,
                                               const std::string& programName) const {
    Launch launch;
    const std::string program = dir_.file("root/bin/" + programName);
    std::vector<std::string> args = {"URL=" + url, "Path=" + path, "ShowWindow=0"};
    args.insert(args.end(), extra.begin(), extra.end());
    if (fault.fileSizeLimit || !fault.user.empty()) {
        launch.program = QB_FAULT_LAUNCHER;
        if (fault.fileSizeLimit) {
            launch.args.push_back("--file-size-limit");
            launch.args.push_back(std::to_string(*fault.fileSizeLimit));
            if (fault.keepFileSizeSignal) launch.args.push_back("--keep-file-size-signal");
        }
        if (!fault.user.empty()) {
            launch.args.push_back("--user");
            launch.args.push_back(fault.user);
        }
        launch.args.push_back("--");
        launch.args.push_back(program);
    } else {
        launch.program = program;
    }
    launch.args.insert(launch.args.end(), args.begin(), args.end());
    launch.options.env = {"QUILLBROOK_ROOT=" + Root(), "QUILLBROOK_REGISTRY=" + RegistryPath(),
                          "LANG=C"};
    launch.options.unsetEnv = {"LC_ALL", "LC_MESSAGES", "LC_CTYPE"};
    launch.options.limit = kRunLimit;
    return launch;
}

test::ProcessResult ProgramSandbox::Run(const std::string& url, const std::string& path,
                                        const std::vector<std::string>& extra,
                                        const Fault& fault) const {
    const Launch launch = Prepare(url, path, extra, fault);
    return test::runProcess(launch.program, launch.args, launch.options);
}

bool ProgramSandbox::Start(test::ChildProcess* child, const std::string& url,
                           const std::string& path, const std::vector<std::string>& extra,
                           const std::string& programName) const {
    const Launch launch = Prepare(url, path, extra, {}, programName);
    return child->start(launch.program, launch.args, launch.options);
}

std::optional<ParsedRegistry> ParseRegistryFile(const std::string& path) {
    const std::optional<std::string> bytes = test::readFile(path);
    if (!bytes) return std::nullopt;
    ParsedRegistry parsed;
    parsed.skippedLines = registry::ParseRegistryText(*bytes, &parsed.document);
    return parsed;
}

std::optional<std::u16string> SettingsText(const registry::RegistryDocument& document,
                                           std::u16string_view name) {
    const registry::RegistryValue* value = SettingsValue(document, name);
    if (value == nullptr || value->type != REG_SZ || value->data.size() % 2 != 0 ||
        value->data.size() < 2) {
        return std::nullopt;
    }
    std::u16string text(value->data.size() / 2, u'\0');
    std::memcpy(text.data(), value->data.data(), value->data.size());
    if (text.back() != u'\0') return std::nullopt;
    text.pop_back();
    return text;
}

std::optional<uint32_t> SettingsNumber(const registry::RegistryDocument& document,
                                       std::u16string_view name) {
    const registry::RegistryValue* value = SettingsValue(document, name);
    if (value == nullptr || value->type != REG_DWORD || value->data.size() != 4) {
        return std::nullopt;
    }
    uint32_t number = 0;
    std::memcpy(&number, value->data.data(), sizeof number);
    return number;
}

std::string SeededRegistryText() {
    return "Windows Registry Editor Version 5.00\n"
           "\n"
           "[HKEY_CURRENT_USER\\Software\\Other\\Tool]\n"
           "\"Colour\"=\"blue \\\"sky\\\" \\\\ sea\"\n"
           "\"Blob\"=hex:00,01,fe,ff\n"
           "\n"
           "[HKEY_CURRENT_USER\\Software\\Vr\\Quillbrook]\n"
           "\"EnableProxy\"=dword:00000000\n"
           "\"ProxyServer\"=\"proxy.invalid\"\n"
           "\"ProxyPort\"=dword:00000c38\n";
}

bool HoldsSeededValues(const registry::RegistryDocument& document) {
    const registry::RegistryKey* other = document.FindKey(kOtherKey);
    if (other == nullptr) return false;
    const registry::RegistryValue* colour =
        registry::RegistryDocument::FindValue(*other, u"Colour");
    const registry::RegistryValue* blob = registry::RegistryDocument::FindValue(*other, u"Blob");
    const std::u16string colourText = u"blue \"sky\" \\ sea";
    std::vector<BYTE> colourBytes((colourText.size() + 1) * 2, 0);
    std::memcpy(colourBytes.data(), colourText.data(), colourText.size() * 2);
    return colour != nullptr && colour->type == REG_SZ && colour->data == colourBytes &&
           blob != nullptr && blob->type == REG_BINARY &&
           blob->data == std::vector<BYTE>{0x00, 0x01, 0xfe, 0xff} &&
           SettingsNumber(document, u"EnableProxy") == 0u &&
           SettingsText(document, u"ProxyServer") == u"proxy.invalid" &&
           SettingsNumber(document, u"ProxyPort") == 3128u;
}

std::string SanitizerReport(const std::string& errors) {
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                             "WARNING: ThreadSanitizer", "runtime error:"}) {
        const size_t at = errors.find(mark);
        if (at != std::string::npos) return errors.substr(at, errors.find('\n', at) - at);
    }
    return "";
}

std::vector<std::string> FolderEntries(const std::string& hostFolder) {
    std::vector<std::string> names;
    DIR* folder = opendir(hostFolder.c_str());
    if (folder == nullptr) return names;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(folder);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace qb::faults
