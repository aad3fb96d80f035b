#include "platform/net.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>

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
