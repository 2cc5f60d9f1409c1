/* The bench's reference for what this machine can do: one GET over plain http, then the body
 * moves from the socket through a pipe into the file (splice), at most a pipe's 64 KiB per
 * step, and the file is fsynced before the exit, as quillbrook does.
 *
 *   splice_get http://HOST:PORT/PATH FILE [resume]
 *
 * "resume" asks for the rest from the file's length (Range) and wants 206. Exit 0 when the
 * body reached the file; 1 otherwise (a line on stderr says why). */
#define _GNU_SOURCE
#include <fcntl.h>
#include <netdb.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#define PIECE_BYTES (64 * 1024)
#define HEAD_BYTES 8192
#define HOST_BYTES 256
#define REQUEST_BYTES 1024

static int fail(const char* what) {
    fprintf(stderr, "splice_get: %s\n", what);
    return 1;
}

static int write_all(int fd, const char* bytes, size_t length) {
    while (length > 0) {
        ssize_t n = write(fd, bytes, length);
        if (n <= 0) return -1;
        bytes += n;
        length -= (size_t)n;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 3 || strncmp(argv[1], "http://", 7) != 0) return fail("usage: URL FILE [resume]");
    const char* authority = argv[1] + 7;
    const char* path = strchr(authority, '/');
    if (path == NULL) path = authority + strlen(authority);
    char host[HOST_BYTES];
    const char* port = "80";
    size_t hostLength = (size_t)(path - authority);
    if (hostLength >= sizeof host) return fail("host too long");
    memcpy(host, authority, hostLength);
    host[hostLength] = '\0';
    char* colon = strrchr(host, ':');
    if (colon != NULL) {
        *colon = '\0';
        port = colon + 1;
    }
    const int resume = argc > 3 && strcmp(argv[3], "resume") == 0;
    int file = open(argv[2], O_WRONLY | O_CREAT | (resume ? 0 : O_TRUNC), 0644);
    if (file < 0) return fail("cannot open the file");
    const off_t from = resume ? lseek(file, 0, SEEK_END) : 0;

    struct addrinfo hints = {0}, *address = NULL;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host, port, &hints, &address) != 0) return fail("cannot resolve the host");
    int sock = socket(address->ai_family, SOCK_STREAM, 0);
    if (sock < 0 || connect(sock, address->ai_addr, address->ai_addrlen) != 0) {
        return fail("cannot connect");
    }
    freeaddrinfo(address);

    char request[REQUEST_BYTES];
    int length = snprintf(request, sizeof request, "GET %s HTTP/1.1\r\nHost: %s:%s\r\n",
                          *path ? path : "/", host, port);
    if (resume) {
        length += snprintf(request + length, sizeof request - (size_t)length,
                           "Range: bytes=%lld-\r\n", (long long)from);
    }
    length += snprintf(request + length, sizeof request - (size_t)length,
                       "Connection: close\r\n\r\n");
    if (length >= (int)sizeof request || write_all(sock, request, (size_t)length) != 0) {
        return fail("cannot send the request");
    }

    /* The head, and whatever of the body came with it, through a buffer. */
    char head[HEAD_BYTES + 1];
    size_t got = 0;
    char* end = NULL;
    while (end == NULL) {
        ssize_t n = recv(sock, head + got, HEAD_BYTES - got, 0);
        if (n <= 0) return fail("no complete response head");
        got += (size_t)n;
        head[got] = '\0';
        end = strstr(head, "\r\n\r\n");
        if (end == NULL && got == HEAD_BYTES) return fail("response head too long");
    }
    const char* wanted = resume ? " 206 " : " 200 ";
    if (strncmp(head, "HTTP/1.", 7) != 0 || strncmp(head + 8, wanted, 5) != 0) {
        return fail("unexpected status");
    }
    end += 4;
    if (write_all(file, end, got - (size_t)(end - head)) != 0) return fail("cannot write");

    /* The rest: socket -> pipe -> file. */
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return fail("no pipe");
    for (;;) {
        ssize_t n = splice(sock, NULL, pipeEnds[1], NULL, PIECE_BYTES, SPLICE_F_MOVE);
        if (n < 0) return fail("cannot receive");
        if (n == 0) break;
        while (n > 0) {
            ssize_t put = splice(pipeEnds[0], NULL, file, NULL, (size_t)n, SPLICE_F_MOVE);
            if (put <= 0) return fail("cannot write");
            n -= put;
        }
    }
    if (fsync(file) != 0 || close(file) != 0) return fail("cannot store the file");
    return 0;
}
