// The process entry: answers --version and --help; the downloader itself follows.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Quillbrook %s\n", QB_VERSION);
        return 0;
    }
    std::printf("usage: quillbrook [URL=...] [Path=...] [Caption=...] [ShowWindow=0|1] "
                "[Resume=0|1] [Retry=N]\n");
    return 0;
}
