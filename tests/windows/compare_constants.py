#!/usr/bin/python3
"""Compares the values our platform headers give Win32 names with those of Windows' own.

usage: compare_constants.py PLATFORM_INCLUDE WORK_DIR  (then runs the two programs it builds)

Every object-like "#define NAME VALUE" of platform/include is printed by one small program,
built twice: with g++ against our headers (run here) and with mingw-w64 against Windows'
headers (run under Wine, WINEPREFIX from the environment). A name both define must have the
same value; a name Windows does not define is listed as the device's own. Values that are no
number (texts, types, empty markers) are left out by the compilers' own judgement: a line that
does not compile on Linux is dropped before the two builds.
"""
import os
import re
import subprocess
import sys

# Constants are upper case; mixed-case names are functions and their aliases.
DEFINE = re.compile(r"^#define\s+([A-Za-z_][A-Za-z0-9_]*)\s+(\S.*)$")
WINE = "/usr/lib/wine/wine64"
# Where mingw-w64's headers and Microsoft's own disagree, ours follow Microsoft's.
HEADERS_DISAGREE = {
    "EAI_NODATA": "Microsoft's ws2def.h makes it EAI_NONAME (11001); mingw-w64 keeps WSANO_DATA",
}


def names(include_dir):
    found = []
    for folder, _, files in os.walk(include_dir):
        for name in sorted(files):
            if not name.endswith(".h"):
                continue
            with open(os.path.join(folder, name), encoding="utf-8") as header:
                for line in header:
                    match = DEFINE.match(line.strip())
                    if match and re.fullmatch(r"[A-Z][A-Z0-9_]*", match.group(1)):
                        found.append(match.group(1))
    return sorted(set(found))


def source(candidates):
    # wincrypt.h is not part of windows.h under WIN32_LEAN_AND_MEAN: named on its own.
    lines = ["#include <winsock2.h>", "#include <windows.h>", "#include <ws2tcpip.h>",
             "#include <commctrl.h>", "#include <wincrypt.h>", "#include <cstdint>", "#include <cstdio>",
             "#include <string>", "#include <type_traits>",
             "// Numbers as numbers, wide texts (class names) as their ASCII, other pointers as numbers.",
             "template <typename T> std::string Value(T v) {",
             "    using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;",
             "    constexpr bool kWide = std::is_same_v<Pointee, wchar_t> || std::is_same_v<Pointee, char16_t>;",
             "    if constexpr (kWide) {",
             "        // An id below 65536 in a pointer is a resource number (MAKEINTRESOURCE); a",
             "        // negative one a marker (LPSTR_TEXTCALLBACK).",
             "        if ((uintptr_t)v < 0x10000 || (intptr_t)v < 0) return std::to_string((long long)(intptr_t)v);",
             "        std::string text = \"\\\"\";",
             "        for (; *v != 0; ++v) text += *v < 128 ? char(*v) : '?';",
             "        return text + \"\\\"\";",
             "    } else if constexpr (std::is_pointer_v<T>) {",
             "        return std::to_string((unsigned long long)(uintptr_t)v);",
             "    } else if constexpr (std::is_signed_v<T>) {",
             "        return std::to_string((long long)v);",
             "    } else {",
             "        return std::to_string((unsigned long long)v);",
             "    }", "}", "int main() {"]
    first = len(lines) + 1
    for name in candidates:
        lines.append(f'#ifdef {name}\n    std::printf("{name}=%s\\n", Value({name}).c_str());\n'
                     f'#else\n    std::printf("{name}=absent\\n");\n#endif')
    lines += ["    return 0;", "}"]
    return "\n".join(lines) + "\n", first


def compile_dropping(candidates, command, path):
    """Compiles, dropping the names whose lines fail, until it builds. Returns the names."""
    for _ in range(20):
        text, first = source(candidates)
        with open(path, "w", encoding="utf-8") as out:
            out.write(text)
        result = subprocess.run(command, capture_output=True, text=True)
        if result.returncode == 0:
            return candidates
        bad_lines = {int(m.group(1)) for m in re.finditer(rf"{re.escape(path)}:(\d+):", result.stderr)}
        if not bad_lines:
            sys.exit("compare_constants: the build failed:\n" + result.stderr[:3000])
        # Each name takes five lines from `first`.
        bad = {candidates[(line - first) // 5] for line in bad_lines
               if 0 <= (line - first) // 5 < len(candidates)}
        if not bad:
            sys.exit("compare_constants: the build failed:\n" + result.stderr[:3000])
        candidates = [name for name in candidates if name not in bad]
    sys.exit("compare_constants: too many rounds")


def values(output):
    pairs = {}
    for line in output.splitlines():
        name, _, value = line.strip().partition("=")
        pairs[name] = value
    return pairs


def main():
    include_dir, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    linux_source = os.path.join(work, "constants_linux.cpp")
    linux_program = os.path.join(work, "constants_linux")
    candidates = compile_dropping(
        names(include_dir),
        ["g++", "-std=c++20", "-w", "-I", include_dir, linux_source, "-o", linux_program],
        linux_source)
    windows_source = os.path.join(work, "constants_windows.cpp")
    windows_program = os.path.join(work, "constants_windows.exe")
    text, _ = source(candidates)
    with open(windows_source, "w", encoding="utf-8") as out:
        out.write(text)
    subprocess.run(["x86_64-w64-mingw32-g++", "-std=c++20", "-w", "-DUNICODE", "-D_UNICODE",
                    "-DWIN32_LEAN_AND_MEAN", "-static", windows_source, "-o", windows_program],
                   check=True)
    ours = values(subprocess.run([linux_program], capture_output=True, text=True,
                                 check=True).stdout)
    theirs = values(subprocess.run([WINE, windows_program], capture_output=True, text=True,
                                   check=True, env=dict(os.environ, WINEDEBUG="-all")).stdout)
    differ = [n for n in candidates if theirs.get(n) not in ("absent", None)
              and ours[n] != theirs[n] and n not in HEADERS_DISAGREE]
    for name, why in HEADERS_DISAGREE.items():
        if name in ours and ours[name] != theirs.get(name):
            print(f"compare_constants: {name} is {ours[name]} here, {theirs.get(name)} in mingw-w64: {why}")
    absent = [n for n in candidates if theirs.get(n) == "absent"]
    for name in differ:
        print(f"compare_constants: {name} is {ours[name]} here, {theirs[name]} on Windows")
    print(f"compare_constants: {len(candidates) - len(absent)} names compared, "
          f"{len(differ)} differ; {len(absent)} are the device's own: {' '.join(absent)}")
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
