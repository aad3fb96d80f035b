#include "support/servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace testenv {
namespace {
// A socket bound to a free port of 127.0.0.1; its port in *port.
int BindLoopback(int* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("cannot bind a loopback port");
    *port = ntohs(a.sin_port);
    return fd;
}
}  // namespace

ScriptedServer::ScriptedServer(std::vector<std::string> replies) : replies_(std::move(replies)) {
    listen_ = BindLoopback(&port_);
    ::listen(listen_, 8);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    thread_.join();
    ::close(listen_);
}

std::vector<std::string> ScriptedServer::requests() {
    std::lock_guard lock(mu_);
    return requests_;
}

void ScriptedServer::Serve() {
    for (std::size_t next = 0; !stop_; ++next) {
        int c = ::accept(listen_, nullptr, nullptr);
        if (c < 0) return;
        std::string request;
        char buf[4096];
        pollfd p{c, POLLIN, 0};
        while (request.find("\n\n") == std::string::npos && ::poll(&p, 1, 5000) > 0) {
            ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) break;
            request.append(buf, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard lock(mu_);
            requests_.push_back(request);
        }
        const std::string& reply = next < replies_.size() ? replies_[next] : replies_.back();
        std::size_t drip = std::min(reply.find(kDrip), reply.size());
        std::size_t now = std::min({drip, reply.find(kSilent), reply.find(kReset)});
        ::send(c, reply.data(), now, MSG_NOSIGNAL);
        for (std::size_t i = drip + kDrip.size(); i < reply.size() && !stop_; ++i)
            if (::usleep(50000) != 0 || ::send(c, &reply[i], 1, MSG_NOSIGNAL) != 1) break;
        if (reply.ends_with(kSilent)) {
            while (!stop_ && ::poll(&p, 1, 50) == 0) {
            }
        }
        linger reset{1, 0};
        if (reply.ends_with(kReset)) ::setsockopt(c, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(c);
    }
}

WebServer::WebServer(const std::string& root) {
    ::close(BindLoopback(&port_));
    std::string port = std::to_string(port_);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::execlp("python3", "python3", "-m", "http.server", port.c_str(), "--bind", "127.0.0.1",
                 "--directory", root.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Ready once it accepts a connection.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port_));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (up) return;
        ::usleep(20000);
    }
    throw std::runtime_error("python3 -m http.server did not start");
}

WebServer::~WebServer() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

}  // namespace testenv
