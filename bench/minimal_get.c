/* The bench's reference for what this machine can do: one GET, and the file is fsynced before
 * the exit, as quillbrook does. Over plain http the body moves from the socket through a pipe
 * into the file (splice), at most a pipe's 64 KiB per step; over https OpenSSL, configured the
 * way the system configures it (SSL_CERT_FILE, the library's own configuration file), reads
 * records into one 64 KiB buffer that is written out as it fills. It is what a client cannot
 * go below: in time, in processor time and, over https, in memory.
 *
 *   minimal_get http://HOST:PORT/PATH FILE [resume]
 *   minimal_get https://HOST:PORT/PATH FILE [resume]
 *
 * "resume" asks for the rest from the file's length (Range) and wants 206. Exit 0 when the
 * body reached the file; 1 otherwise (a line on stderr says why). */
#define _GNU_SOURCE
#include <fcntl.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
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
    fprintf(stderr, "minimal_get: %s\n", what);
    return 1;
}

/* The connection: a socket, and over https its TLS session. */
static int sock = -1;
static SSL* tls = NULL;

static ssize_t receive(char* into, size_t length) {
    if (tls == NULL) return recv(sock, into, length, 0);
    size_t got = 0;
    int status = SSL_read_ex(tls, into, length, &got);
    if (status == 1) return (ssize_t)got;
    return SSL_get_error(tls, status) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
}

static int send_all(const char* bytes, size_t length) {
    if (tls == NULL) return send(sock, bytes, length, MSG_NOSIGNAL) == (ssize_t)length ? 0 : -1;
    size_t sent = 0;
    return SSL_write_ex(tls, bytes, length, &sent) == 1 && sent == length ? 0 : -1;
}

static int start_tls(const char* host) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == NULL || SSL_CTX_set_default_verify_paths(context) != 1) return -1;
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, NULL);
    tls = SSL_new(context);
    if (tls == NULL || SSL_set_fd(tls, sock) != 1) return -1;
    X509_VERIFY_PARAM* check = SSL_get0_param(tls);
    if (X509_VERIFY_PARAM_set1_ip_asc(check, host) != 1 &&
        (X509_VERIFY_PARAM_set1_host(check, host, 0) != 1 ||
         SSL_set_tlsext_host_name(tls, host) != 1)) {
        return -1;
    }
    if (SSL_connect(tls) != 1) {
        ERR_print_errors_fp(stderr);
        return -1;
    }
    return 0;
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

/* The body after the head over https: records through one buffer. */
static int read_rest(int file) {
    static char piece[PIECE_BYTES];
    ssize_t n;
    while ((n = receive(piece, sizeof piece)) > 0) {
        if (write_all(file, piece, (size_t)n) != 0) return fail("cannot write");
    }
    return n < 0 ? fail("cannot receive") : 0;
}

/* The body after the head over http: socket -> pipe -> file. */
static int splice_rest(int file) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return fail("no pipe");
    for (;;) {
        ssize_t n = splice(sock, NULL, pipeEnds[1], NULL, PIECE_BYTES, SPLICE_F_MOVE);
        if (n < 0) return fail("cannot receive");
        if (n == 0) return 0;
        while (n > 0) {
            ssize_t put = splice(pipeEnds[0], NULL, file, NULL, (size_t)n, SPLICE_F_MOVE);
            if (put <= 0) return fail("cannot write");
            n -= put;
        }
    }
}

int main(int argc, char** argv) {
    const int secure = argc >= 3 && strncmp(argv[1], "https://", 8) == 0;
    if (argc < 3 || (!secure && strncmp(argv[1], "http://", 7) != 0)) {
        return fail("usage: URL FILE [resume]");
    }
    const char* authority = argv[1] + (secure ? 8 : 7);
    const char* path = strchr(authority, '/');
    if (path == NULL) path = authority + strlen(authority);
    char host[HOST_BYTES];
    const char* port = secure ? "443" : "80";
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
    sock = socket(address->ai_family, SOCK_STREAM, 0);
    if (sock < 0 || connect(sock, address->ai_addr, address->ai_addrlen) != 0) {
        return fail("cannot connect");
    }
    freeaddrinfo(address);
    if (secure && start_tls(host) != 0) return fail("no TLS session");

    char request[REQUEST_BYTES];
    int length = snprintf(request, sizeof request, "GET %s HTTP/1.1\r\nHost: %s:%s\r\n",
                          *path ? path : "/", host, port);
    if (resume) {
        length += snprintf(request + length, sizeof request - (size_t)length,
                           "Range: bytes=%lld-\r\n", (long long)from);
    }
    length += snprintf(request + length, sizeof request - (size_t)length,
                       "Connection: close\r\n\r\n");
    if (length >= (int)sizeof request || send_all(request, (size_t)length) != 0) {
        return fail("cannot send the request");
    }

    /* The head, and whatever of the body came with it, through a buffer. */
    char head[HEAD_BYTES + 1];
    size_t got = 0;
    char* end = NULL;
    while (end == NULL) {
        ssize_t n = receive(head + got, HEAD_BYTES - got);
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

    const int moved = secure ? read_rest(file) : splice_rest(file);
    if (moved != 0) return moved;
    if (fsync(file) != 0 || close(file) != 0) return fail("cannot store the file");
    return 0;
}
