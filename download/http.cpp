#include "download/http.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/nodescan.h"
#include "app/state.h"
#include "download/sites.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/text.h"
#include "settings/locator.h"

char H[kRequestRows][1024] = {"", "", "", "", "", "", "", "\r\n", ""};

namespace {
constexpr int kProgressBar = 157;
constexpr std::size_t kPiece = 1024;  // what one receive takes at most
std::atomic<bool> unreachable{false};

// host "name", "a.b.c.d" or "[IPv6 address]", each with an optional ":port":
// false when it is no host a request can carry. *name is what to connect to
// (an IPv6 address without its brackets).
bool SplitHost(const std::string& typed, std::string* name, int* port) {
    std::size_t end;  // where the name ends: at the colon before the port, or at the end
    if (typed.rfind('[', 0) == 0) {
        end = typed.find(']');
        if (end == std::string::npos) return false;
        *name = typed.substr(1, end - 1);
        if (!IsIPv6Address(*name)) return false;
        ++end;
    } else {
        end = std::min(typed.rfind(':'), typed.size());
        *name = typed.substr(0, end);
        if (name->empty() || !std::all_of(name->begin(), name->end(), [](char c) {
                auto u = static_cast<unsigned char>(c);
                return u > 0x20 && u < 0x7F && c != '/' && c != ':';
            }))
            return false;
    }
    *port = 80;
    if (end == typed.size()) return true;
    std::string digits = typed.substr(end + 1);
    if (typed[end] != ':' || digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    *port = std::atoi(digits.c_str());
    return *port >= 1 && *port <= 65535;
}

// A path as a request line carries it: the unreserved bytes (A-Z a-z 0-9
// - . _ ~) and '/' as they are, every other byte as %XX, so that a blank,
// '?', '#' or '%' in a name stays part of the name.
std::string EncodedPath(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : path) {
        auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            std::string_view("-._~/").find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += {'%', hex[u >> 4], hex[u & 15]};
        }
    }
    return out;
}

// Fills rows 0 to 6 of H with the request for dir/file, each row ending in
// CR LF; false after a status line when the names cannot make a request.
bool FillRequest(const std::string& host, const std::string& file, const std::string& dir,
                 const std::string& method) {
    // A line break in a name would end the request line early.
    if (HasControlChar(host) || HasControlChar(dir) || HasControlChar(file)) {
        sout("Refused: the site's host, directory or file name holds a control character");
        return false;
    }
    char agent[64];
    std::snprintf(agent, sizeof agent, "User-Agent: Nodescan/%f", kProgramVersion);
    // A directory typed without its leading '/' still names a path from the root.
    std::string path = EncodedPath((dir.empty() || dir[0] == '/' ? "" : "/") + dir + "/" + file);
    const std::string lines[] = {method + " " + path + " HTTP/1.0",
                                 "Host: " + host,
                                 "Range: bytes=0-",
                                 agent,
                                 "Accept: *.*, */*",
                                 "Cookie: CookieStatus=COOKIE_OK",
                                 "Referer: http://" + host + path};
    for (const std::string& line : lines) {
        if (line.size() + 3 > sizeof H[0]) {  // the line, CR LF and the terminator
            sout("Refused: the request for " + file + " would have a line longer than " +
                 std::to_string(sizeof H[0] - 3) + " bytes");
            return false;
        }
    }
    for (int row = 0; row < 7; ++row)
        std::snprintf(H[row], sizeof H[row], "%s\r\n", lines[row].c_str());
    return true;
}

// A header name compared ignoring ASCII case.
bool NameIs(const std::string& line, const char* name) {
    std::size_t n = std::strlen(name);
    if (line.size() <= n || line[n] != ':') return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != name[i]) return false;
    return true;
}

// Reads one line of the header without its line end (LF, or CR LF), as
// HeaderEnd sees lines: a line of a lone CR is empty, "\r\r" is not. False
// at the end of the file. A line longer than the limit is read whole and kept cut.
bool ReadLine(std::FILE* f, std::string* line, bool* ended) {
    line->clear();
    *ended = false;
    int c;
    while ((c = std::getc(f)) != EOF) {
        if (c == '\n') {
            *ended = true;
            break;
        }
        if (line->size() < 8192) line->push_back(static_cast<char>(c));
    }
    if (!*ended && line->empty()) return false;
    if (*ended && !line->empty() && line->back() == '\r') line->pop_back();
    return true;
}
}  // namespace

std::size_t HeaderEnd::Scan(const char* p, std::size_t n) {
    if (done_) return 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != '\n') {
            crOnly_ = lineBytes_ == 0 && p[i] == '\r';
            ++lineBytes_;
        } else if (lineBytes_ == 0 || (lineBytes_ == 1 && crOnly_)) {
            done_ = true;
            return i + 1;
        } else {
            lineBytes_ = 0;
        }
    }
    return n;
}

std::string SavedPath(const std::string& file) {
    return JoinPath(GetTempDir(), file);
}

std::string HeadPath(const std::string& file) {
    return SavedPath(file) + ".http";
}

void RemoveSaved(const std::string& file) {
    std::remove(SavedPath(file).c_str());
    std::remove(HeadPath(file).c_str());
}

bool LastRequestUnreachable() {
    return unreachable;
}

int Download(const std::string& host, const std::string& file, const std::string& dir,
             const std::string& method, std::uint64_t /*maxBody*/) {
    unreachable = false;
    int r = FillRequest(host, file, dir, method) ? GetHTTP(host, file) : 0;
    ShowControl(md, kProgressBar, false);
    return r == 1 ? 1 : 0;
}

int GetHTTP(const std::string& host, const std::string& file) {
    std::string name;
    int port;
    if (!SplitHost(host, &name, &port)) {
        sout("Refused: '" + host + "' is not a host name (or host:port)");
        return 0;
    }
    TcpConnection conn;
    std::string why;
    if (!conn.Connect(name, port, NetTimeoutMs(), &why)) {
        unreachable = true;
        sout("Cannot connect to " + host + ": " + why);
        return 0;
    }
    dout("HTTP Header: Begin Send ---\n");
    for (int row = 0; row < kRequestRows; ++row) {
        dout(H[row]);
        if (!H[row][0]) break;
        if (!conn.Send(H[row], std::strlen(H[row]))) {
            sout("The connection to " + host + " broke while sending the request");
            return 0;
        }
    }
    dout("HTTP Header: Send Complete ---\n");
    dout("Now recieve");
    // The response is saved as it comes, in two files: its header (status
    // line, header lines and the empty line) in HeadPath, the body in
    // SavedPath. So a body needs no second copy to lose its header.
    std::string paths[2] = {HeadPath(file), SavedPath(file)};
    std::FILE* out[2] = {std::fopen(paths[0].c_str(), "wb"), std::fopen(paths[1].c_str(), "wb")};
    std::vector<char> buffer(1 << 18);  // pieces reach the disk in large writes
    if (out[1]) std::setvbuf(out[1], buffer.data(), _IOFBF, buffer.size());
    int result = 1;
    for (int i = 0; i < 2 && result == 1; ++i) {
        if (!out[i]) {
            sout("Cannot write " + paths[i] + ": " + std::generic_category().message(errno));
            result = 0;
        }
    }
    char piece[kPiece];
    HeaderEnd header;
    while (result == 1) {
        long n = conn.Receive(piece, sizeof piece, NetTimeoutMs());
        if (n == 0) break;
        if (n < 0) {
            char why[120];
            std::snprintf(why, sizeof why, " sent nothing for %g seconds: the request is given up",
                          NetTimeoutMs() / 1000.0);
            sout(n == -2 ? host + why : "The connection to " + host + " broke while receiving");
            result = -1;
            break;
        }
        std::size_t inHead = header.Scan(piece, static_cast<std::size_t>(n));
        std::size_t written = std::fwrite(piece, 1, inHead, out[0]);
        written += std::fwrite(piece + inHead, 1, static_cast<std::size_t>(n) - inHead, out[1]);
        if (written != static_cast<std::size_t>(n)) {
            sout("Cannot write " + paths[1] + ": " + std::generic_category().message(errno));
            result = -1;
        }
        ProgressStepIt(md, kProgressBar);
    }
    for (int i = 0; i < 2; ++i) {
        if (out[i] && std::fclose(out[i]) != 0 && result == 1) {
            sout("Cannot write " + paths[i] + ": " + std::generic_category().message(errno));
            result = -1;
        }
    }
    return result;
}

ResponseHead ReadResponseHead(const std::string& file) {
    ResponseHead head;
    std::FILE* f = std::fopen(HeadPath(file).c_str(), "rb");
    if (!f) return head;
    head.opened = true;
    std::string line;
    bool ended;
    // "HTTP/1.1 200 OK": the code stands after the first blank.
    if (ReadLine(f, &line, &ended) && line.rfind("HTTP/", 0) == 0) {
        std::size_t blank = line.find(' ');
        if (blank != std::string::npos && line.size() >= blank + 4 &&
            std::all_of(line.begin() + static_cast<long>(blank) + 1,
                        line.begin() + static_cast<long>(blank) + 4,
                        [](char c) { return c >= '0' && c <= '9'; })) {
            head.hasStatus = true;
            head.status = std::atoi(line.c_str() + blank + 1);
            head.reason = line.substr(blank + 1);
        }
    }
    while (head.hasStatus && ReadLine(f, &line, &ended)) {
        if (line.empty() && ended) {
            head.complete = true;
            break;
        }
        if (NameIs(line, "content-length")) {
            const char* v = line.c_str() + std::strlen("content-length:");
            while (*v == ' ' || *v == '\t') ++v;
            char* end = nullptr;
            errno = 0;
            unsigned long long n = std::strtoull(v, &end, 10);
            if (end != v && errno == 0 && *v != '-') {
                head.hasLength = true;
                head.length = n;
            }
        }
    }
    std::fclose(f);
    return head;
}

std::uint32_t FindSize(const std::string& file, int site) {
    ResponseHead head = ReadResponseHead(file);
    if (!head.opened) return 0;
    std::string server = GetServerName(site);
    if (!head.hasStatus) {
        sout("No HTTP reply from '" + server + "'");
    } else if (head.status / 100 != 2) {
        sout("File not found on '" + server + "'");
    } else if (head.hasLength) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(head.length, 0xFFFFFFFEu));
    } else {
        sout("Could NOT determine file size");
    }
    return 0xFFFFFFFFu;
}

int CheckFile(const std::string& file) {
    ResponseHead head = ReadResponseHead(file);
    if (!head.opened) return 0;
    if (!head.hasStatus) {
        sout("No HTTP reply for " + file);
        return 0;
    }
    if (head.status / 100 == 3) {
        sout(file + " has moved (" + head.reason + "): the site must name the file itself");
        return 0;
    }
    if (head.status / 100 != 2) {
        MessageBox(md, "Error Downloading - CODE= " + head.reason, "Error!!", MB_OK | MB_ICONERROR);
        return 0;
    }
    if (!head.complete) {
        sout("The reply for " + file + " ended inside its header");
        return 0;
    }
    return 1;  // the body is in the saved file already
}

void ServerError(int site) {
    sout("Error Connecting to '" + GetServerName(site) + "'");
}
