// The secure-socket calls of socket_core: the settings before the handshake, and the
// handshake with the hook's verdict.
#include <cerrno>
#include <cstring>
#include <vector>

#include <poll.h>

#include "platform/winsock/socket_entry.h"

namespace qb::winsock {
namespace {

// The settings may change only on a secure socket whose handshake has not run.
int SettingsError(const Entry& entry) {
    switch (entry.carriage.load(std::memory_order_acquire)) {
    case Carriage::Plain:
        return EINVAL;
    case Carriage::Encrypted:
    case Carriage::Broken:
        return EISCONN;
    default:
        return 0;
    }
}

// Holds the socket for a settings change: error() when it may not change.
class Settings {
public:
    explicit Settings(uint64_t socket) : use_(socket) {
        if (use_.error() != 0) {
            error_ = use_.error();
            return;
        }
        lock_ = std::unique_lock(use_.entry().stateMutex);
        error_ = SettingsError(use_.entry());
    }
    Entry& entry() { return use_.entry(); }
    int error() const { return error_; }

private:
    Use use_;
    std::unique_lock<std::mutex> lock_;
    int error_ = 0;
};

int Fail(Entry& entry, int error) {
    entry.carriage.store(Carriage::Broken, std::memory_order_release);
    return error;
}

} // namespace

int RunHandshake(Entry& entry) {
    std::string name;
    CertificateHook hook;
    {
        std::lock_guard lock(entry.stateMutex);
        name = entry.peerName;
        hook = entry.hook;
    }
    if (name.empty()) return Fail(entry, EINVAL); // nothing to check the certificate against
    {
        // Clear bytes not yet taken would belong to no one: the server speaks only after
        // our first handshake message.
        std::lock_guard lock(entry.receive.mutex);
        if (entry.receive.start != entry.receive.end) return Fail(entry, kErrHandshakeFailed);
    }
    std::unique_ptr<SecureChannel> made = SecureChannel::Open(entry.fd, name.c_str());
    if (made == nullptr) return Fail(entry, kErrHandshakeFailed);
    SecureChannel* channel = made.get();
    {
        std::lock_guard lock(entry.stateMutex);
        entry.channel = std::move(made);
    }
    for (;;) {
        const StepResult r = channel->Handshake();
        if (entry.shutLocally.load(std::memory_order_relaxed)) return Fail(entry, ESHUTDOWN);
        if (r.step == Step::Done) break;
        if (r.step != Step::WantRead && r.step != Step::WantWrite)
            return Fail(entry, kErrHandshakeFailed);
        const short events = r.step == Step::WantRead ? POLLIN : POLLOUT;
        const auto& timeout = events == POLLIN ? entry.receiveTimeoutMs : entry.sendTimeoutMs;
        const int waited =
            WaitForDescriptor(entry.fd, events, timeout.load(std::memory_order_relaxed));
        if (waited != 0) return Fail(entry, waited);
    }
    std::vector<uint8_t> der;
    uint32_t problems = 0;
    channel->PeerCertificate(der, problems);
    const bool accepted =
        hook.judge != nullptr ? hook.judge(hook, der.data(), der.size(), problems) : problems == 0;
    if (!accepted) return Fail(entry, kErrCertificateRefused);
    entry.carriage.store(Carriage::Encrypted, std::memory_order_release);
    return 0;
}

Outcome MakeSecure(uint64_t socket) {
    Use use(socket);
    if (use.error() != 0) return Failure(use.error());
    Entry& entry = use.entry();
    if (!entry.stream) return Failure(EOPNOTSUPP);
    std::lock_guard lock(entry.stateMutex);
    if (entry.connectStarted) return Failure(EISCONN);
    if (entry.carriage.load(std::memory_order_relaxed) == Carriage::Plain) {
        entry.carriage.store(entry.deferHandshake ? Carriage::Clear : Carriage::Awaiting,
                             std::memory_order_release);
    }
    return Outcome{};
}

Outcome SetSecureFlags(uint64_t socket, bool deferHandshake) {
    Settings settings(socket);
    if (settings.error() != 0) return Failure(settings.error());
    Entry& entry = settings.entry();
    entry.deferHandshake = deferHandshake;
    entry.carriage.store(deferHandshake ? Carriage::Clear : Carriage::Awaiting,
                         std::memory_order_release);
    return Outcome{};
}

Outcome GetSecureFlags(uint64_t socket) {
    Use use(socket);
    if (use.error() != 0) return Failure(use.error());
    Entry& entry = use.entry();
    std::lock_guard lock(entry.stateMutex);
    if (entry.carriage.load(std::memory_order_relaxed) == Carriage::Plain) return Failure(EINVAL);
    return Outcome{entry.deferHandshake ? 1 : 0, 0};
}

Outcome SetCertificateHook(uint64_t socket, const CertificateHook& hook) {
    Settings settings(socket);
    if (settings.error() != 0) return Failure(settings.error());
    settings.entry().hook = hook;
    return Outcome{};
}

Outcome SetPeerName(uint64_t socket, const char* name) {
    if (name == nullptr || name[0] == '\0') return Failure(EINVAL);
    size_t length = std::strlen(name);
    if (length > kMaxPeerNameLength + 2) return Failure(EINVAL);
    // An address literal may come in its URL brackets.
    if (name[0] == '[' && name[length - 1] == ']') {
        ++name;
        length -= 2;
    }
    if (length == 0 || length > kMaxPeerNameLength) return Failure(EINVAL);
    Settings settings(socket);
    if (settings.error() != 0) return Failure(settings.error());
    settings.entry().peerName.assign(name, length);
    return Outcome{};
}

Outcome PerformHandshake(uint64_t socket) {
    Use use(socket);
    if (use.error() != 0) return Failure(use.error());
    Entry& entry = use.entry();
    {
        std::lock_guard lock(entry.stateMutex);
        if (const int refused = SettingsError(entry); refused != 0) return Failure(refused);
        if (!entry.connectStarted || entry.connecting) return Failure(ENOTCONN);
    }
    const int error = RunHandshake(entry);
    return error == 0 ? Outcome{} : Failure(error);
}

} // namespace qb::winsock
