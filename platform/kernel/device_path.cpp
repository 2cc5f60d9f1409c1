#include "qb/device_path.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <windows.h>

#include "platform/kernel/host_folders.h"
#include "platform/kernel/path_rules.h"
#include "platform/kernel/utf8_codec.h"

namespace qb::kernel {
namespace {

// The longest path Windows accepts anywhere, in UTF-16 units.
constexpr size_t kMaxDevicePathUnits = 32767;
constexpr std::u16string_view kMyDocuments = u"My Documents";
constexpr const char* kMyDocumentsOnDisk = "My Documents";
// "\My Documents" is created like any folder the user makes.
constexpr mode_t kNewFolderMode = 0777;
constexpr size_t kUserDirsLineBytes = 4096;

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The XDG_DOCUMENTS_DIR line of user-dirs.dirs: XDG_DOCUMENTS_DIR="$HOME/Documents".
std::string DocumentsFromUserDirs(const std::string& home) {
    const std::string config = ConfigHome(home);
    if (config.empty()) return {};
    FILE* file = std::fopen((config + "/user-dirs.dirs").c_str(), "re");
    if (file == nullptr) return {};
    std::string result;
    char line[kUserDirsLineBytes];
    const std::string_view key = "XDG_DOCUMENTS_DIR=\"";
    while (std::fgets(line, sizeof line, file) != nullptr) {
        std::string_view text(line);
        if (text.substr(0, key.size()) != key) continue;
        text.remove_prefix(key.size());
        const size_t quote = text.find('"');
        if (quote == std::string_view::npos) continue;
        text = text.substr(0, quote);
        if (text.substr(0, 5) == "$HOME" && !home.empty()) {
            result = home + std::string(text.substr(5));
        } else if (!text.empty() && text[0] == '/') {
            result = text;
        }
    }
    std::fclose(file);
    return result;
}

std::string DocumentsDirectory() {
    const char* xdg = std::getenv("XDG_DOCUMENTS_DIR");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const std::string home = HomeDirectory();
    std::string fromFile = DocumentsFromUserDirs(home);
    if (!fromFile.empty()) return fromFile;
    return home.empty() ? std::string() : home + "/Documents";
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

} // namespace

bool IsValidComponent(std::u16string_view component, bool wildcardsAllowed) {
    if (component.empty()) return false;
    for (size_t i = 0; i < component.size(); ++i) {
        const char16_t unit = component[i];
        if (unit < 0x20) return false;
        switch (unit) {
        case u'<':
        case u'>':
        case u':':
        case u'"':
        case u'|':
            return false;
        case u'*':
        case u'?':
            if (!wildcardsAllowed) return false;
            break;
        default:
            break;
        }
        if (IsHighSurrogate(unit)) {
            if (i + 1 >= component.size() || !IsLowSurrogate(component[i + 1])) return false;
            ++i;
        } else if (IsLowSurrogate(unit)) {
            return false;
        }
    }
    return true;
}

std::string DeviceRoot() {
    const char* root = std::getenv("QUILLBROOK_ROOT");
    if (root == nullptr || root[0] == '\0') return "/";
    std::string path = root;
    if (path[0] != '/') {
        char* cwd = getcwd(nullptr, 0);
        if (cwd != nullptr) {
            path = std::string(cwd) + "/" + path;
            std::free(cwd);
        }
    }
    return WithoutTrailingSlashes(path);
}

bool MapDevicePath(LPCWSTR devicePath, PathUse use, std::string* hostPath, DWORD* error) {
    DWORD ignored = 0;
    if (error == nullptr) error = &ignored;
    if (devicePath == nullptr || devicePath[0] == 0 || hostPath == nullptr) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    try {
        const std::u16string_view text(devicePath);
        if (text.size() > kMaxDevicePathUnits) {
            *error = ERROR_FILENAME_EXCED_RANGE;
            return false;
        }
        std::vector<std::u16string_view> components;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = start;
            while (end < text.size() && !IsPathSeparator(text[end])) ++end;
            if (end > start) components.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        std::vector<std::u16string_view> resolved;
        for (size_t i = 0; i < components.size(); ++i) {
            const std::u16string_view component = components[i];
            const bool last = i + 1 == components.size();
            if (component == u".") continue;
            if (component == u"..") {
                if (!resolved.empty()) resolved.pop_back();
                continue;
            }
            if (!IsValidComponent(component, last && use == PathUse::kPattern)) {
                *error = ERROR_INVALID_NAME;
                return false;
            }
            resolved.push_back(component);
        }

        const std::string root = DeviceRoot();
        std::string host = root == "/" ? std::string() : root;
        size_t first = 0;
        if (!resolved.empty() && resolved[0] == kMyDocuments) {
            const std::string documents =
                root == "/" ? DocumentsDirectory() : root + "/" + kMyDocumentsOnDisk;
            if (documents.empty() || !MakeDirectories(documents, kNewFolderMode)) {
                *error = ERROR_PATH_NOT_FOUND;
                return false;
            }
            host = WithoutTrailingSlashes(documents);
            if (host == "/") host.clear();
            first = 1;
        }
        for (size_t i = first; i < resolved.size(); ++i) {
            host += '/';
            host += Utf16ToUtf8(resolved[i].data(), resolved[i].size());
        }
        // A character, not the literal "/": GCC 12 at -O3 reports a false overlap for a
        // one-character literal assigned to a std::string (GCC bug 105329).
        if (host.empty()) host.push_back('/');
        *hostPath = std::move(host);
        return true;
    } catch (const std::bad_alloc&) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
}

bool MapHostPath(const std::string& hostPath, std::u16string* devicePath, DWORD* error) {
    DWORD ignored = 0;
    if (error == nullptr) error = &ignored;
    if (devicePath == nullptr || hostPath.empty() || hostPath[0] != '/') {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    try {
        const std::string root = DeviceRoot();
        std::string rest;
        auto under = [&](const std::string& base) {
            if (base == "/") {
                rest = hostPath;
                return true;
            }
            if (hostPath.compare(0, base.size(), base) != 0) return false;
            if (hostPath.size() != base.size() && hostPath[base.size()] != '/') return false;
            rest = hostPath.substr(base.size());
            return true;
        };
        bool inside = under(root);
        if (!inside) {
            // The root may be named through a symbolic link; the program's own path is not.
            char* canonical = realpath(root.c_str(), nullptr);
            if (canonical != nullptr) {
                inside = under(canonical);
                std::free(canonical);
            }
        }
        if (!inside) {
            *error = ERROR_PATH_NOT_FOUND;
            return false;
        }
        std::u16string device;
        size_t start = 0;
        while (start <= rest.size()) {
            size_t end = rest.find('/', start);
            if (end == std::string::npos) end = rest.size();
            if (end > start) {
                const std::string component = rest.substr(start, end - start);
                std::u16string wide;
                if (component.find('\\') != std::string::npos ||
                    !AppendUtf8AsUtf16(component.data(), component.size(), wide)) {
                    *error = ERROR_INVALID_NAME;
                    return false;
                }
                device += u'\\';
                device += wide;
            }
            start = end + 1;
        }
        if (device.empty()) device.push_back(u'\\');
        *devicePath = std::move(device);
        return true;
    } catch (const std::bad_alloc&) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
}

} // namespace qb::kernel
