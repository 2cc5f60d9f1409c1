#include "platform/registry/registry_text.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include <windows.h>

namespace qb::registry {
namespace {

constexpr const char* kOldHeader = "REGEDIT4";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr size_t kDwordHexDigits = 8;

std::u16string FromUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::u16string out(size_t(units > 0 ? units : 0), u'\0');
    if (units > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), units);
    }
    return out;
}

bool IsUtf8(std::string_view text) {
    return text.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                               int(text.size()), nullptr, 0) > 0;
}

// nullopt for text that UTF-8 can't carry exactly (a lone surrogate).
std::optional<std::string> ToUtf8(std::u16string_view text) {
    if (text.empty()) return std::string();
    const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                          int(text.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::nullopt;
    std::string out(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), int(text.size()), out.data(),
                        bytes, nullptr, nullptr);
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const char a = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] + 32) : text[i];
        if (a != prefix[i]) return false;
    }
    return true;
}

// A quoted text at the start of *text (escapes \\ and \"); consumes it.
std::optional<std::string> ReadQuoted(std::string_view* text) {
    if (text->empty() || text->front() != '"') return std::nullopt;
    std::string out;
    for (size_t i = 1; i < text->size(); ++i) {
        const char c = (*text)[i];
        if (c == '\\' && i + 1 < text->size() &&
            ((*text)[i + 1] == '\\' || (*text)[i + 1] == '"')) {
            out.push_back((*text)[++i]);
        } else if (c == '"') {
            text->remove_prefix(i + 1);
            return out;
        } else {
            out.push_back(c);
        }
    }
    return std::nullopt; // no closing quotation mark
}

std::optional<std::vector<BYTE>> ReadHexBytes(std::string_view text) {
    std::vector<BYTE> bytes;
    text = Trim(text);
    if (text.empty()) return bytes;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        const std::string_view item = Trim(text.substr(start, comma - start));
        if (item.empty()) {
            if (comma != text.size()) return std::nullopt; // ",," in the middle
        } else {
            if (item.size() > 2) return std::nullopt;
            int value = 0;
            for (char c : item) {
                const int digit = HexDigit(c);
                if (digit < 0) return std::nullopt;
                value = value * 16 + digit;
            }
            bytes.push_back(BYTE(value));
        }
        start = comma + 1;
    }
    return bytes;
}

std::vector<BYTE> TextBytes(const std::u16string& text) {
    std::vector<BYTE> bytes((text.size() + 1) * sizeof(char16_t), 0);
    std::memcpy(bytes.data(), text.data(), text.size() * sizeof(char16_t));
    return bytes;
}

// The value data after "=": a text, dword:, hex: or hex(N):. nullopt when it is none.
std::optional<RegistryValue> ReadData(std::string_view data) {
    RegistryValue value;
    data = Trim(data);
    if (!data.empty() && data.front() == '"') {
        std::optional<std::string> text = ReadQuoted(&data);
        if (!text || !Trim(data).empty()) return std::nullopt;
        value.type = REG_SZ;
        value.data = TextBytes(FromUtf8(*text));
        return value;
    }
    if (StartsWithNoCase(data, "dword:")) {
        const std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > kDwordHexDigits) return std::nullopt;
        DWORD number = 0;
        for (char c : digits) {
            const int digit = HexDigit(c);
            if (digit < 0) return std::nullopt;
            number = number * 16 + DWORD(digit);
        }
        value.type = REG_DWORD;
        value.data.resize(sizeof number);
        std::memcpy(value.data.data(), &number, sizeof number);
        return value;
    }
    if (StartsWithNoCase(data, "hex:")) {
        value.type = REG_BINARY;
        data.remove_prefix(4);
    } else if (StartsWithNoCase(data, "hex(")) {
        const size_t close = data.find("):");
        if (close == std::string_view::npos || close == 4 || close > 4 + kDwordHexDigits) {
            return std::nullopt;
        }
        DWORD type = 0;
        for (char c : data.substr(4, close - 4)) {
            const int digit = HexDigit(c);
            if (digit < 0) return std::nullopt;
            type = type * 16 + DWORD(digit);
        }
        value.type = type;
        data.remove_prefix(close + 2);
    } else {
        return std::nullopt;
    }
    std::optional<std::vector<BYTE>> bytes = ReadHexBytes(data);
    if (!bytes) return std::nullopt;
    value.data = std::move(*bytes);
    return value;
}

// The key path of a section line "[...]"; nullopt for a malformed one. *deletes is set
// for "[-...]", a key that an import would remove.
std::optional<std::u16string> ReadSection(std::string_view line, bool* deletes) {
    const size_t close = line.rfind(']');
    if (close == std::string_view::npos || !Trim(line.substr(close + 1)).empty()) {
        return std::nullopt;
    }
    std::string_view inner = line.substr(1, close - 1);
    *deletes = !inner.empty() && inner.front() == '-';
    if (*deletes) inner.remove_prefix(1);
    if (inner.empty() || inner.front() == '\\' || inner.back() == '\\' ||
        inner.find("\\\\") != std::string_view::npos) {
        return std::nullopt;
    }
    return FromUtf8(inner);
}

// *lossy is set when the UTF-16 text could not be carried over exactly (a lone surrogate
// or an odd byte at the end).
std::string DecodeToUtf8(const std::string& bytes, bool* lossy) {
    *lossy = false;
    if (bytes.compare(0, kUtf16LeBom.size(), kUtf16LeBom) == 0) {
        *lossy = (bytes.size() - kUtf16LeBom.size()) % 2 != 0;
        std::u16string units((bytes.size() - kUtf16LeBom.size()) / 2, u'\0');
        for (size_t i = 0; i < units.size(); ++i) {
            units[i] = char16_t(BYTE(bytes[2 + 2 * i]) | (BYTE(bytes[3 + 2 * i]) << 8));
        }
        std::string out;
        if (!units.empty()) {
            const int size = WideCharToMultiByte(CP_UTF8, 0, units.data(), int(units.size()),
                                                 nullptr, 0, nullptr, nullptr);
            if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units.data(), int(units.size()),
                                    nullptr, 0, nullptr, nullptr) <= 0) {
                *lossy = true;
            }
            out.resize(size_t(size > 0 ? size : 0));
            if (size > 0) {
                WideCharToMultiByte(CP_UTF8, 0, units.data(), int(units.size()), out.data(), size,
                                    nullptr, nullptr);
            }
        }
        return out;
    }
    if (bytes.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0) return bytes.substr(kUtf8Bom.size());
    return bytes;
}

void AppendQuoted(std::string* out, const std::string& text) {
    out->push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"') out->push_back('\\');
        out->push_back(c);
    }
    out->push_back('"');
}

// A REG_SZ that a quoted text gives back exactly: terminated, without NUL or line breaks
// inside, and valid UTF-16.
std::optional<std::string> PlainText(const RegistryValue& value) {
    const size_t size = value.data.size();
    if (value.type != REG_SZ || size < 2 || size % 2 != 0) return std::nullopt;
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), value.data.data(), size);
    if (text.back() != 0) return std::nullopt;
    text.pop_back();
    if (text.find_first_of(std::u16string_view(u"\0\r\n", 3)) != std::u16string::npos) {
        return std::nullopt;
    }
    return ToUtf8(text);
}

void AppendHex(std::string* out, const std::vector<BYTE>& data) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0) out->push_back(',');
        out->push_back(kDigits[data[i] >> 4]);
        out->push_back(kDigits[data[i] & 15]);
    }
}

void AppendValue(std::string* out, const RegistryValue& value) {
    if (value.name.empty()) {
        out->push_back('@');
    } else {
        const std::optional<std::string> name = ToUtf8(value.name);
        if (!name) return; // value names are checked when values are set
        AppendQuoted(out, *name);
    }
    out->push_back('=');
    if (std::optional<std::string> text = PlainText(value)) {
        AppendQuoted(out, *text);
    } else if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, value.data.data(), sizeof number);
        char digits[kDwordHexDigits + 1];
        std::snprintf(digits, sizeof digits, "%08x", number);
        *out += "dword:";
        *out += digits;
    } else {
        if (value.type == REG_BINARY) {
            *out += "hex:";
        } else {
            char prefix[sizeof "hex(ffffffff):"];
            std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
            *out += prefix;
        }
        AppendHex(out, value.data);
    }
    out->push_back('\n');
}

} // namespace

size_t ParseRegistryText(const std::string& bytes, RegistryDocument* document) {
    bool lossy = false;
    const std::string text = DecodeToUtf8(bytes, &lossy);
    size_t skipped = lossy ? 1 : 0;
    RegistryKey* current = nullptr;
    bool inDeletedKey = false;
    size_t start = 0;
    while (start < text.size()) {
        // One logical line: a trailing "\" continues it on the next physical line.
        std::string line;
        for (;;) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string_view part = Trim(std::string_view(text).substr(start, end - start));
            start = end + 1;
            if (!part.empty() && part.back() == '\\' && start < text.size()) {
                line.append(part.substr(0, part.size() - 1));
                continue;
            }
            line.append(part);
            break;
        }
        const std::string_view view = line;
        if (view.empty() || view.front() == ';' || view == kRegistryHeader || view == kOldHeader) {
            continue;
        }
        if (view.front() == '[') {
            bool deletes = false;
            // A name in another program's code page is not understood: its values are
            // skipped with it rather than filed under the key before.
            const std::optional<std::u16string> path =
                IsUtf8(view) ? ReadSection(view, &deletes) : std::nullopt;
            current = path && !deletes ? &document->EnsureKey(*path) : nullptr;
            inDeletedKey = path && deletes;
            if (!path) ++skipped;
            continue;
        }
        if (current == nullptr) {
            if (!inDeletedKey) ++skipped;
            continue;
        }
        if (!IsUtf8(view)) { // another program's code page: not ours to rewrite
            ++skipped;
            continue;
        }
        std::string_view rest = view;
        std::u16string name;
        if (rest.front() == '@') {
            rest.remove_prefix(1);
        } else {
            std::optional<std::string> quoted = ReadQuoted(&rest);
            if (!quoted) {
                ++skipped;
                continue;
            }
            name = FromUtf8(*quoted);
        }
        rest = Trim(rest);
        if (rest.empty() || rest.front() != '=') {
            ++skipped;
            continue;
        }
        rest.remove_prefix(1);
        if (Trim(rest) == "-") { // an import's way to remove a value
            RegistryDocument::DeleteValue(*current, name);
            continue;
        }
        std::optional<RegistryValue> value = ReadData(rest);
        if (!value) {
            ++skipped;
            continue;
        }
        value->name = std::move(name);
        RegistryDocument::SetValue(*current, std::move(*value));
    }
    return skipped;
}

std::string FormatRegistryText(const RegistryDocument& document) {
    std::string out = kRegistryHeader;
    out += "\n";
    for (const RegistryKey& key : document.Keys()) {
        const std::optional<std::string> path = ToUtf8(key.path);
        if (!path) continue; // key names are checked when keys are made
        out += "\n[";
        out += *path;
        out += "]\n";
        for (const RegistryValue& value : key.values) AppendValue(&out, value);
    }
    return out;
}

} // namespace qb::registry
