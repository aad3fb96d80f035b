#include "platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/common/online.h"
#include "platform/posix/gnutls.h"

bool InterfaceUp() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool up = false;
    for (ifaddrs* a = list; a && !up; a = a->ifa_next) {
        if (!a->ifa_addr || (a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP)) continue;
        int family = a->ifa_addr->sa_family;
        up = family == AF_INET || family == AF_INET6;
    }
    freeifaddrs(list);
    return up;
}

// TLS is GnuTLS's: the program links it already (the update's SHA-256), and
// it is part of a minimal Debian, so HTTPS brings no further library.
struct TlsSession {
    gnutls_session_t session = nullptr;
    bool corked = false;  // records wait for the end of the bytes sent
    std::string host;     // the name the certificate is checked for, while session lives
};

namespace {
// The loaded library; only called once LoadGnuTls has succeeded (a session
// exists only then).
const GnuTls& Lib() {
    return *LoadGnuTls(nullptr);
}

// The trust the TLS sessions verify servers with: the system's store, and
// the CA file NODESCAN_CA_FILE names. Loaded once for each CA file (the store
// is read from disk), kept for the life of the program: a session of another
// thread may use it while the program ends, so it is never freed. nullptr
// with the reason in *error when it cannot be loaded.
gnutls_certificate_credentials_t Trust(std::string* error) {
    static std::mutex mu;
    static auto& loaded =
        *new std::vector<std::pair<std::string, gnutls_certificate_credentials_t>>;
    const char* env = std::getenv("NODESCAN_CA_FILE");
    std::string caFile = env ? env : "";
    std::lock_guard lock(mu);
    for (const auto& [file, trust] : loaded)
        if (file == caFile) return trust;
    gnutls_certificate_credentials_t trust;
    if (Lib().certificate_allocate_credentials(&trust) < 0) {
        *error = "GnuTLS cannot allocate its credentials";
        return nullptr;
    }
    int rc = Lib().certificate_set_x509_system_trust(trust);
    if (rc < 0 && caFile.empty()) {
        *error =
            std::string("the system's trust store cannot be read (") + Lib().strerror(rc) + ")";
        Lib().certificate_free_credentials(trust);
        return nullptr;
    }
    if (!caFile.empty() && (rc = Lib().certificate_set_x509_trust_file(trust, caFile.c_str(),
                                                                       GNUTLS_X509_FMT_PEM)) <= 0) {
        *error = "NODESCAN_CA_FILE " + caFile + " holds no CA certificate that can be read" +
                 (rc < 0 ? std::string(" (") + Lib().strerror(rc) + ")" : "");
        Lib().certificate_free_credentials(trust);
        return nullptr;
    }
    loaded.emplace_back(caFile, trust);
    return trust;
}
}  // namespace

TcpConnection::~TcpConnection() {
    if (tls_) {
        Lib().deinit(tls_->session);
        delete tls_;
    }
    if (fd_ >= 0) ::close(static_cast<int>(fd_));
}

bool TcpConnection::Connect(const std::string& host, int port, int timeoutMs, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    std::string service = std::to_string(port);
    // A dotted or IPv6 address is used as it is: no name service is asked about it.
    int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (rc != 0) {
        *error = std::string("host not found (") + ::gai_strerror(rc) + ")";
        return false;
    }
    *error = "no address";
    for (addrinfo* a = list; a; a = a->ai_next) {
        int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            *error = std::strerror(errno);
            continue;
        }
        int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (r != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int n = ::poll(&p, 1, timeoutMs);
            int err = 0;
            socklen_t len = sizeof err;
            if (n == 0) {
                err = ETIMEDOUT;
            } else if (n < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
                err = errno;
            }
            r = err == 0 ? 0 : -1;
            errno = err;
        }
        if (r == 0) {
            fd_ = fd;
            break;
        }
        *error = std::strerror(errno);
        ::close(fd);
    }
    ::freeaddrinfo(list);
    return fd_ >= 0;
}

bool TcpConnection::StartTls(const std::string& host, int timeoutMs, std::string* error) {
    std::string why;
    if (!LoadGnuTls(&why)) {
        *error = "GnuTLS cannot be loaded (" + why + ")";
        return false;
    }
    gnutls_certificate_credentials_t trust = Trust(error);
    if (!trust) return false;
    gnutls_session_t session;
    if (Lib().init(&session, GNUTLS_CLIENT | GNUTLS_NONBLOCK) < 0) {
        *error = "GnuTLS cannot start a session";
        return false;
    }
    tls_ = new TlsSession{session, false, host};
    const std::string& name = tls_->host;
    in_addr v4;
    int rc =
        Lib().priority_set_direct(session, "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2", nullptr);
    if (rc >= 0) rc = Lib().credentials_set(session, GNUTLS_CRD_CERTIFICATE, trust);
    // SNI names a host; an address is never sent as one.
    if (rc >= 0 && !IsIPv6Address(host) && ::inet_pton(AF_INET, host.c_str(), &v4) != 1)
        rc = Lib().server_name_set(session, GNUTLS_NAME_DNS, name.data(), name.size());
    if (rc < 0) {
        *error = std::string("GnuTLS cannot set up the session (") + Lib().strerror(rc) + ")";
        return false;
    }
    // The handshake fails unless the chain verifies and names host (a DNS
    // name, or an IP address in the certificate's subjectAltName).
    Lib().session_set_verify_cert(session, name.c_str(), 0);
    const int fd = static_cast<int>(fd_);
    Lib().transport_set_int2(session, fd, fd);
    // The request goes out as whole records (see Send): Nagle's algorithm would
    // hold it back behind the handshake's last flight until the server's
    // delayed acknowledgement, some 40 ms.
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while ((rc = Lib().handshake(session)) < 0 && !Lib().error_is_fatal(rc)) {
        if (rc != GNUTLS_E_AGAIN) continue;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0 ||
            !Wait(Lib().record_get_direction(session) == 1, static_cast<int>(left.count()))) {
            *error = "the TLS handshake did not end within " + std::to_string(timeoutMs) + " ms";
            return false;
        }
    }
    if (rc == GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR) {
        gnutls_datum_t text{};
        unsigned status = Lib().session_get_verify_cert_status(session);
        if (Lib().certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) == 0) {
            *error = reinterpret_cast<const char*>(text.data);
            (*Lib().free)(text.data);
            while (!error->empty() && error->back() == ' ') error->pop_back();
        } else {
            *error = "its certificate is not trusted";
        }
    } else if (rc < 0) {
        *error = std::string("the TLS handshake failed (") + Lib().strerror(rc) + ")";
    }
    return rc >= 0;
}

bool TcpConnection::Wait(bool write, int timeoutMs) {
    pollfd p{static_cast<int>(fd_), static_cast<short>(write ? POLLOUT : POLLIN), 0};
    int ready;
    while ((ready = ::poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    return ready > 0;
}

bool TcpConnection::Send(const char* data, std::size_t n, bool more) {
    gnutls_session_t session = tls_ ? tls_->session : nullptr;
    if (tls_ && more && !tls_->corked) {
        Lib().record_cork(session);
        tls_->corked = true;
    }
    while (n > 0) {
        if (tls_) {
            ssize_t sent = Lib().record_send(session, data, n);
            if (sent == GNUTLS_E_AGAIN) {
                // Called again with the same bytes once the socket can take them.
                if (!Wait(Lib().record_get_direction(session) == 1, NetTimeoutMs())) return false;
                continue;
            }
            if (sent == GNUTLS_E_INTERRUPTED) continue;
            if (sent <= 0) return false;
            data += sent;
            n -= static_cast<std::size_t>(sent);
            continue;
        }
        ssize_t sent = ::send(static_cast<int>(fd_), data, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!Wait(true, NetTimeoutMs())) return false;
            continue;
        }
        if (sent <= 0) return false;
        data += sent;
        n -= static_cast<std::size_t>(sent);
    }
    if (!tls_ || !tls_->corked || more) return true;
    tls_->corked = false;
    int rc;
    while ((rc = Lib().record_uncork(session, 0)) == GNUTLS_E_AGAIN || rc == GNUTLS_E_INTERRUPTED)
        if (rc == GNUTLS_E_AGAIN && !Wait(Lib().record_get_direction(session) == 1, NetTimeoutMs()))
            return false;
    return rc >= 0;
}

long TcpConnection::Receive(char* buf, std::size_t size, int timeoutMs) {
    while (true) {
        bool write = false;
        if (tls_) {
            // Bytes GnuTLS holds already come without a wait. A close without
            // TLS's close_notify is an error: the reply may have been cut off.
            ssize_t n = Lib().record_recv(tls_->session, buf, size);
            if (n >= 0) return static_cast<long>(n);
            if (n != GNUTLS_E_AGAIN) {
                if (Lib().error_is_fatal(static_cast<int>(n))) return -1;
                continue;  // interrupted, or a warning alert
            }
            write = Lib().record_get_direction(tls_->session) == 1;
        } else {
            ssize_t n = ::recv(static_cast<int>(fd_), buf, size, 0);
            if (n >= 0) return static_cast<long>(n);
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        }
        pollfd p{static_cast<int>(fd_), static_cast<short>(write ? POLLOUT : POLLIN), 0};
        int ready = ::poll(&p, 1, timeoutMs);
        if (ready == 0) return -2;
        if (ready < 0 && errno != EINTR) return -1;
    }
}
