#include "platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

bool InternetConnected() {
    if (const char* forced = std::getenv("NODESCAN_ONLINE")) {
        if (std::strcmp(forced, "1") == 0) return true;
        if (std::strcmp(forced, "0") == 0) return false;
    }
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

namespace {
// Milliseconds from the environment variable name, else fallback.
int EnvMs(const char* name, int fallback) {
    const char* v = std::getenv(name);
    int ms = v ? std::atoi(v) : 0;
    return ms > 0 ? ms : fallback;
}
}  // namespace

int NetTimeoutMs() {
    return EnvMs("NODESCAN_NET_TIMEOUT_MS", 30000);
}

int NetDeadlineMs() {
    return EnvMs("NODESCAN_NET_DEADLINE_MS", 600000);
}

bool IsIPv6Address(const std::string& text) {
    in6_addr address;
    return ::inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

bool IsLoopbackHost(const std::string& name) {
    in_addr v4;
    in6_addr v6;
    if (::inet_pton(AF_INET, name.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    if (::inet_pton(AF_INET6, name.c_str(), &v6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
    return strcasecmp(name.c_str(), "localhost") == 0;
}

TcpConnection::~TcpConnection() {
    if (fd_ >= 0) ::close(fd_);
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

bool TcpConnection::Send(const char* data, std::size_t n) {
    while (n > 0) {
        ssize_t sent = ::send(fd_, data, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, NetTimeoutMs()) <= 0) return false;
            continue;
        }
        if (sent <= 0) return false;
        data += sent;
        n -= static_cast<std::size_t>(sent);
    }
    return true;
}

long TcpConnection::Receive(char* buf, std::size_t size, int timeoutMs) {
    while (true) {
        ssize_t n = ::recv(fd_, buf, size, 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        pollfd p{fd_, POLLIN, 0};
        int ready = ::poll(&p, 1, timeoutMs);
        if (ready == 0) return -2;
        if (ready < 0 && errno != EINTR) return -1;
    }
}
