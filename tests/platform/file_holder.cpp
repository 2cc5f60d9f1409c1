// Helper process for the file exclusion tests: opens a device file for writing with the
// given share mode, writes its text into it, says "held" on standard output and keeps the
// handle until it is killed.
//   file_holder PATH SHARE TEXT   (SHARE: the decimal share mode)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const std::string name = argv[1];
    const std::u16string path(name.begin(), name.end());
    const DWORD share = DWORD(std::strtoul(argv[2], nullptr, 10));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    const DWORD length = DWORD(std::strlen(argv[3]));
    if (!WriteFile(file, argv[3], length, &written, nullptr) || written != length ||
        !FlushFileBuffers(file)) {
        return 4;
    }
    std::printf("held\n");
    std::fflush(stdout);
    for (;;) pause();
}
