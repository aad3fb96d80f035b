// The parts of the net layer that read only text and the environment, the
// same on every system.
#include "platform/net.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <cstdlib>
#include <cstring>

#include "platform/common/online.h"
#include "platform/files.h"

bool InternetConnected() {
    if (const char* forced = std::getenv("NODESCAN_ONLINE")) {
        if (std::strcmp(forced, "1") == 0) return true;
        if (std::strcmp(forced, "0") == 0) return false;
    }
    return InterfaceUp();
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
    unsigned char address[16];
    return ::inet_pton(AF_INET6, text.c_str(), address) == 1;
}

bool IsLoopbackHost(const std::string& name) {
    // The addresses' bytes in network order.
    unsigned char a[16];
    if (::inet_pton(AF_INET, name.c_str(), a) == 1) return a[0] == 127;
    if (::inet_pton(AF_INET6, name.c_str(), a) == 1) {
        static const unsigned char zeros[16] = {};
        static const unsigned char mapped[2] = {0xff, 0xff};
        if (std::memcmp(a, zeros, 15) == 0) return a[15] == 1;  // ::1
        return std::memcmp(a, zeros, 10) == 0 && std::memcmp(a + 10, mapped, 2) == 0 &&
               a[12] == 127;  // ::ffff:127.x.y.z
    }
    return EqualIgnoreCase(name, "localhost");
}
