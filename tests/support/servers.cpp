#include "support/servers.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "platform/net.h"

namespace testenv {
namespace {
#ifdef _WIN32
// Winsock's names of the calls used here.
using socklen_t = int;
constexpr int SOCK_CLOEXEC = 0, SHUT_RDWR = SD_BOTH, MSG_NOSIGNAL = 0;
int poll(pollfd* p, unsigned long n, int ms) {
    return WSAPoll(p, n, ms);
}
int close(SOCKET s) {
    return closesocket(s);
}
const bool winsock = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}();
#endif

// A socket bound to a free port of 127.0.0.1 (or ::1), its port in *port;
// -1 when there is none.
int BindLoopback(int* port, bool ipv6 = false) {
    sockaddr_in6 a6{AF_INET6, 0, 0, in6addr_loopback, 0};
    sockaddr_in a4{};
    a4.sin_family = AF_INET;
    a4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto* a = ipv6 ? reinterpret_cast<sockaddr*>(&a6) : reinterpret_cast<sockaddr*>(&a4);
    socklen_t len = ipv6 ? sizeof a6 : sizeof a4;
    int fd = ::socket(a->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && (::bind(fd, a, len) != 0 || ::getsockname(fd, a, &len) != 0)) {
        close(fd);
        fd = -1;
    }
    *port = ntohs(ipv6 ? a6.sin6_port : a4.sin_port);
    return fd;
}
}  // namespace

ScriptedServer::ScriptedServer(std::vector<std::string> replies) : replies_(std::move(replies)) {
    listen_ = BindLoopback(&port_);
    if (listen_ < 0) throw std::runtime_error("cannot bind a loopback port");
    ::listen(listen_, 8);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    ::shutdown(listen_, SHUT_RDWR);  // ends a waiting accept on Linux
    close(listen_);                  // and on Windows
    thread_.join();
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
        pollfd p{};
        p.fd = c;
        p.events = POLLIN;
        while (request.find("\r\n\r\n") == std::string::npos && poll(&p, 1, 5000) > 0) {
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
        for (std::size_t i = drip + kDrip.size(); i < reply.size() && !stop_; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (::send(c, &reply[i], 1, MSG_NOSIGNAL) != 1) break;
        }
        if (reply.ends_with(kSilent)) {
            while (!stop_ && poll(&p, 1, 50) == 0) {
            }
        }
        linger reset{1, 0};
        if (reply.ends_with(kReset))
            ::setsockopt(c, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
                         sizeof reset);
        close(c);
    }
}

bool HasIPv6Loopback() {
    int port, fd = BindLoopback(&port, true);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

Certificates::Certificates() {
    // A leaf for 127.0.0.1 and localhost (another.example for "wrong"),
    // signed by the CA (by itself for "self"), valid for a day (expired one
    // before it was made, for "expired").
    std::string make =
        "cd '" + dir_.path() +
        "' && k='-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes' && "
        "openssl req -x509 $k -keyout ca.key -out ca.pem -subj /CN=TestCA -days 2 && "
        "leaf() { openssl req $k -keyout $1.key -out $1.csr -subj /CN=$1 && "
        "printf 'subjectAltName=%s\n' $2 >$1.ext && openssl x509 -req -in $1.csr -extfile "
        "$1.ext -days $3 $4 -out $1.crt && cat $1.crt $1.key >$1.pem; } && "
        "leaf good IP:127.0.0.1,DNS:localhost 1 '-CA ca.pem -CAkey ca.key' && "
        "leaf expired IP:127.0.0.1,DNS:localhost -1 '-CA ca.pem -CAkey ca.key' && "
        "leaf wrong DNS:another.example 1 '-CA ca.pem -CAkey ca.key' && "
        "leaf self IP:127.0.0.1,DNS:localhost 1 '-signkey self.key'";
    if (Shell("(" + make + ") >/dev/null 2>&1") != 0)
        throw std::runtime_error("openssl could not make the test certificates");
}

WebServer::WebServer(const std::string& root, Kind kind, bool ipv6, const std::string& pem)
    : kind_(kind), ipv6_(ipv6) {
    int fd = BindLoopback(&port_, ipv6);
    if (fd < 0) throw std::runtime_error("cannot bind a loopback port");
    close(fd);
    std::string dir = conf_.path(), address = ipv6 ? "::1" : "127.0.0.1";
    std::vector<std::string> args = {"python3", "-m",    "http.server", std::to_string(port_),
                                     "--bind",  address, "--directory", root};
    if (kind == kPythonTls) {
        args = {"python3",
                "-c",
                "import functools, http.server as h, ssl, sys, urllib.parse as u\n"
                "port, address, root, pem = sys.argv[1:]\n"
                "class R(h.SimpleHTTPRequestHandler):\n"
                "  def log_message(self, *a): pass\n"
                "  def send_head(self):\n"
                "    if not self.path.startswith('/to/'): return super().send_head()\n"
                "    self.send_response(302)\n"
                "    self.send_header('Location', u.unquote(self.path[4:]))\n"
                "    self.end_headers()\n"
                "s = h.ThreadingHTTPServer((address, int(port)), "
                "functools.partial(R, directory=root))\n"
                "c = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)\n"
                "c.load_cert_chain(pem)\n"
                "s.socket = c.wrap_socket(s.socket, server_side=True)\n"
                "s.serve_forever()\n",
                std::to_string(port_),
                address,
                root,
                pem};
    } else if (kind == kNginx) {
        WriteFile(dir + "/nginx.conf",
                  "pid " + dir + "/nginx.pid;\nerror_log " + dir + "/error.log;\n" +
                      "user nobody nogroup;\nevents {}\nhttp {\n" + "access_log " + dir +
                      "/access.log;\nclient_body_temp_path " + dir + "/t;\nproxy_temp_path " + dir +
                      "/t;\nfastcgi_temp_path " + dir + "/t;\nuwsgi_temp_path " + dir +
                      "/t;\nscgi_temp_path " + dir + "/t;\nserver { listen " + host() +
                      "; root \"" + root + "\"; }\n}\n");
        args = {"/usr/sbin/nginx", "-p", dir, "-c", dir + "/nginx.conf", "-g", "daemon off;"};
    } else if (kind == kApache) {
        const std::string modules = "/usr/lib/apache2/modules/mod_";
        WriteFile(dir + "/apache2.conf",
                  "ServerName 127.0.0.1\nListen " + host() + "\nLoadModule mpm_event_module " +
                      modules + "mpm_event.so\nLoadModule authz_core_module " + modules +
                      "authz_core.so\nUser nobody\nGroup nogroup\nPidFile " + dir +
                      "/apache2.pid\nDefaultRuntimeDir " + dir + "\nErrorLog " + dir +
                      "/error.log\nCustomLog " + dir + "/access.log \"%h %r %>s\"\n" +
                      "DocumentRoot \"" + root + "\"\n");
        args = {"/usr/sbin/apache2", "-d", dir, "-f", dir + "/apache2.conf", "-DFOREGROUND"};
    }
    if (args[0][0] == '/' && Shell("test -x " + args[0]) != 0)
        throw std::runtime_error(args[0] + " is missing: scripts/install-deps.sh installs it");
    // Under root the servers' workers run as nobody: the files must be readable to others.
    if (args[0][0] == '/' && Shell("chmod -R a+rX " + ShellWord(root)) != 0)
        throw std::runtime_error("cannot make " + root + " readable");
    // Started by the shell, in the background (under Wine too, where the
    // test cannot start a Linux program and wait for it).
    std::string command = "exec";
    for (const std::string& a : args) command += " " + ShellWord(a);
    Shell("(" + command + ") </dev/null >" + ShellWord(dir + "/log") + " 2>&1 & echo $! >" +
          ShellWord(dir + "/pid"));
    pid_ = std::atoi(ReadFile(dir + "/pid").c_str());
    // Ready once it accepts a connection.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
        TcpConnection probe;
        std::string why;
        if (probe.Connect(address, port_, 1000, &why)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    throw std::runtime_error(args[0] + " did not start: " + ReadFile(dir + "/log"));
}

void WebServer::Stop() {
    // Waits for the end, so that the next test finds the port free.
    Shell("kill " + std::to_string(pid_) + " && while kill -0 " + std::to_string(pid_) +
          " 2>/dev/null; do sleep 0.02; done");
}

WebServer::~WebServer() {
    Stop();
}

}  // namespace testenv
