// Web servers on 127.0.0.1 (or ::1) for the download tests: a scripted one
// that answers each connection with the next reply as given, byte for byte,
// and real ones serving a directory.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/testenv.h"

namespace testenv {
using namespace std::string_literals;

class ScriptedServer {
  public:
    // A reply ending in kSilent: after the bytes before it, say nothing until
    // the client gives up; in kReset: then reset the connection. The bytes
    // after kDrip (the reply's last marker) go one every 50 ms.
    static inline const std::string kSilent = "\x01silent", kReset = "\x01reset",
                                    kDrip = "\x01drip";
    explicit ScriptedServer(std::vector<std::string> replies);
    ~ScriptedServer();
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> requests();  // as received, one per connection

  private:
    void Serve();
    int listen_ = -1, port_ = 0;
    std::vector<std::string> replies_;
    std::vector<std::string> requests_;
    std::mutex mu_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Whether a socket can be bound to ::1.
bool HasIPv6Loopback();

// Certificates made by the openssl tool: a test CA (ca()) and, each with
// its key in one PEM file (pem(name)), leaves for IP:127.0.0.1 and
// DNS:localhost: "good" and "expired" signed by the CA, "wrong" (for
// another.example only) too, and "self" signed by itself.
class Certificates {
  public:
    Certificates();
    std::string ca() const { return dir_ / "ca.pem"; }
    std::string pem(const std::string& name) const { return dir_ / (name + ".pem"); }

  private:
    TempDir dir_;
};

// A web server on a free port of 127.0.0.1 (or ::1), serving root: Python's
// http.server (over TLS with the certificate and key in the PEM file pem:
// then /to/URL answers "302 Location: URL"),
// or nginx or Apache run in the foreground from a configuration of their own
// (with its logs and pid file) in a temporary directory.
class WebServer {
  public:
    enum Kind { kPython, kNginx, kApache, kPythonTls };
    explicit WebServer(const std::string& root, Kind kind = kPython, bool ipv6 = false,
                       const std::string& pem = "");
    ~WebServer();
    std::string host() const {
        return (kind_ == kPythonTls ? "https://" : "") + (ipv6_ ? "[::1]:"s : "127.0.0.1:") +
               std::to_string(port_);
    }

  private:
    void Stop();
    TempDir conf_;
    int pid_ = -1;
    int port_ = 0;
    Kind kind_;
    bool ipv6_;
};

}  // namespace testenv
