// Whether the machine is connected to a network.
#pragma once

// True when a non-loopback interface is up with an address. NODESCAN_ONLINE
// set to 1 or 0 forces the answer.
bool InternetConnected();

#include <cstddef>
#include <cstdint>
#include <string>

// How long a connection may take to open, and a reply to its next bytes:
// 30 seconds, or NODESCAN_NET_TIMEOUT_MS milliseconds when that is set.
int NetTimeoutMs();
// How long a whole request may take, from the connection to the reply's last
// byte: 10 minutes, or NODESCAN_NET_DEADLINE_MS milliseconds when that is set.
int NetDeadlineMs();

// Whether text is an IPv6 address as written between a URL's brackets
// (e.g. ::1), without the brackets.
bool IsIPv6Address(const std::string& text);
// Whether a host name or address names this machine through the loopback
// interface: localhost, 127.0.0.0/8, ::1 (also as ::ffff:127.x.y.z).
bool IsLoopbackHost(const std::string& name);

// A TLS session over a connection: each system's net unit defines it.
struct TlsSession;

// One TCP connection to a server, with time limits, in plain text or, once
// StartTls succeeded, through TLS. Sending never raises SIGPIPE. Closed when
// the object ends.
class TcpConnection {
  public:
    TcpConnection() = default;
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;
    ~TcpConnection();

    // Connects to host (a name, or a dotted or IPv6 address used as it is) at port.
    // False with a reason in *error when the host is unknown, refuses, or
    // does not answer within timeoutMs.
    bool Connect(const std::string& host, int port, int timeoutMs, std::string* error);
    // Speaks TLS (1.2 or newer) over the open connection from now on: the
    // server's certificate must verify against the system's trust store, and
    // the CA file NODESCAN_CA_FILE names when that is set, for host (a name,
    // sent as SNI, or an address). False with the reason in *error (why the
    // certificate is not trusted, or what failed) when the handshake fails or
    // does not end within timeoutMs.
    bool StartTls(const std::string& host, int timeoutMs, std::string* error);
    // Sends all n bytes; false when the connection failed. With more, the
    // next Send follows at once: over TLS the bytes wait for it, so that a
    // request sent in pieces goes out as one record, not one for each piece.
    bool Send(const char* data, std::size_t n, bool more = false);
    // Up to size bytes: their count, 0 when the server closed the
    // connection, -1 on an error, -2 when nothing came within timeoutMs.
    // Over TLS a close without TLS's close_notify is an error: what came
    // before it may have been cut off by someone else.
    long Receive(char* buf, std::size_t size, int timeoutMs);

  private:
    // Waits until the socket can be read (or written when the TLS session
    // needs to write); false when it cannot within timeoutMs.
    bool Wait(bool write, int timeoutMs);

    std::intptr_t fd_ = -1;  // the socket (a descriptor, or a Winsock SOCKET), -1 for none
    TlsSession* tls_ = nullptr;
};
