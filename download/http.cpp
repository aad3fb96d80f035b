#include "download/http.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/state.h"
#include "core/status.h"
#include "download/sites.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/text.h"
#include "platform/threads.h"
#include "resources/ids.h"
#include "settings/locator.h"

char H[kRequestRows][1024] = {"", "", "", "", "", "", "", "\r\n", ""};

namespace {
constexpr std::size_t kPiece = 16 << 10;  // what one receive takes at most
std::atomic<bool> unreachable{false};

// A server as a site or a redirect names it.
struct Server {
    bool tls = false;       // written https://
    std::string authority;  // without the scheme: what the Host line names
    std::string name;       // what to connect to (an IPv6 address without its brackets)
    int port = 80;
};

// typed: "name", "a.b.c.d" or "[IPv6 address]", each with an optional
// ":port", with "http://" or "https://" (any case) before it or not (and
// then a '/' after it, as a URL copied from a browser has it); false when it
// is no host a request can carry. A bare host is plain HTTP.
bool ParseServer(const std::string& typed, Server* server) {
    std::string lower = typed.substr(0, 8);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    server->tls = lower == "https://";
    std::size_t schemeEnd = server->tls ? 8 : (lower.rfind("http://", 0) == 0 ? 7 : 0);
    std::string host = typed.substr(schemeEnd);
    if (schemeEnd > 0 && host.ends_with('/')) host.pop_back();
    server->authority = host;
    std::size_t end;  // where the name ends: at the colon before the port, or at the end
    if (host.rfind('[', 0) == 0) {
        end = host.find(']');
        if (end == std::string::npos) return false;
        server->name = host.substr(1, end - 1);
        if (!IsIPv6Address(server->name)) return false;
        ++end;
    } else {
        end = std::min(host.rfind(':'), host.size());
        server->name = host.substr(0, end);
        if (server->name.empty() ||
            !std::all_of(server->name.begin(), server->name.end(), [](char c) {
                auto u = static_cast<unsigned char>(c);
                return u > 0x20 && u < 0x7F && c != '/' && c != ':';
            }))
            return false;
    }
    server->port = server->tls ? 443 : 80;
    if (end == host.size()) return true;
    std::string digits = host.substr(end + 1);
    if (host[end] != ':' || digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    server->port = std::atoi(digits.c_str());
    return server->port >= 1 && server->port <= 65535;
}

// The host of server as a request's host string: a bare one for plain HTTP.
std::string HostOf(const Server& server) {
    return (server.tls ? "https://" : "") + server.authority;
}

// The URL of path on server.
std::string Url(const Server& server, const std::string& path) {
    return (server.tls ? "https://" : "http://") + server.authority + path;
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

// Fills rows 0 to 6 of H with the request for path (percent-encoded) on
// server, each row ending in CR LF; false after a status line when a line
// would be too long.
bool FillRequest(const Server& server, const std::string& path, const std::string& method,
                 const std::string& file) {
    char agent[64];
    std::snprintf(agent, sizeof agent, "User-Agent: Nodescan/%f", kProgramVersion);
    const std::string lines[] = {method + " " + path + " HTTP/1.0",
                                 "Host: " + server.authority,
                                 "Range: bytes=0-",
                                 agent,
                                 "Accept: *.*, */*",
                                 "Cookie: CookieStatus=COOKIE_OK",
                                 "Referer: " + Url(server, path)};
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

// The path of a URL without its "." and ".." segments (path begins with '/').
std::string WithoutDots(const std::string& path) {
    std::vector<std::string> kept;
    for (std::size_t start = 1;;) {
        std::size_t slash = path.find('/', start);
        std::string segment = path.substr(start, slash - start);
        bool last = slash == std::string::npos;
        if (segment == ".." && !kept.empty()) kept.pop_back();
        if (segment != "." && segment != "..")
            kept.push_back(segment);
        else if (last)
            kept.push_back("");  // "/a/.." is "/", "/a/." is "/a/"
        if (last) break;
        start = slash + 1;
    }
    std::string out;
    for (const std::string& segment : kept) out += "/" + segment;
    return out;
}

// Where a redirect's Location leads from the request for path on from: an
// absolute http or https URL, "//authority/path", "/path", "?query" or a
// path relative to the request's directory, resolved as browsers do; the
// fragment dropped, bytes a request line cannot carry (blanks, controls,
// non-ASCII) percent-encoded. False when it names no http or https server.
bool Resolve(const Server& from, const std::string& path, std::string location, Server* to,
             std::string* toPath) {
    static const char hex[] = "0123456789ABCDEF";
    location = location.substr(0, location.find('#'));
    std::string lower = location.substr(0, 8);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    bool tls = from.tls,
         absolute = lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
    std::size_t colon = location.find(':');
    if (!absolute && colon != std::string::npos && colon < location.find_first_of("/?"))
        return false;  // another scheme (ftp:, mailto:...)
    std::string authority = from.authority, target;
    std::string base = path.substr(0, path.find('?'));
    if (absolute || location.rfind("//", 0) == 0) {
        if (absolute) tls = lower[4] == 's';
        std::string rest = location.substr(absolute ? (tls ? 8 : 7) : 2);
        std::size_t end = std::min(rest.find_first_of("/?"), rest.size());
        authority = rest.substr(0, end);
        target = rest.substr(end);
        if (target.empty() || target[0] == '?') target = "/" + target;
    } else if (location.empty() || location[0] == '?') {
        target = base + location;
    } else if (location[0] == '/') {
        target = location;
    } else {
        target = base.substr(0, base.rfind('/') + 1) + location;
    }
    std::size_t query = std::min(target.find('?'), target.size());
    target = WithoutDots(target.substr(0, query)) + target.substr(query);
    toPath->clear();
    for (char c : target) {
        auto u = static_cast<unsigned char>(c);
        if (u > 0x20 && u < 0x7F)
            *toPath += c;
        else
            *toPath += {'%', hex[u >> 4], hex[u & 15]};
    }
    return ParseServer((tls ? "https://" : "http://") + authority, to);
}

// A header name compared ignoring ASCII case.
bool NameIs(std::string_view line, const char* name) {
    std::size_t n = std::strlen(name);
    if (line.size() <= n || line[n] != ':') return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != name[i]) return false;
    return true;
}

// The value of a header line, without the blanks around it.
std::string_view Value(std::string_view line) {
    std::size_t from = line.find(':') + 1;
    while (from < line.size() && (line[from] == ' ' || line[from] == '\t')) ++from;
    std::size_t to = line.size();
    while (to > from && (line[to - 1] == ' ' || line[to - 1] == '\t')) --to;
    return line.substr(from, to - from);
}

// Takes the next line of a header off text, without its line end (LF, or
// CR LF), as HeaderEnd sees lines: a line of a lone CR is empty, "\r\r" is
// not. False when text is empty; *ended false for a last line without LF.
bool NextLine(std::string_view* text, std::string_view* line, bool* ended) {
    if (text->empty()) return false;
    std::size_t lf = text->find('\n');
    *ended = lf != std::string_view::npos;
    *line = text->substr(0, *ended ? lf : text->size());
    text->remove_prefix(*ended ? lf + 1 : text->size());
    if (*ended && !line->empty() && line->back() == '\r') line->remove_suffix(1);
    return true;
}

// What a response's header says (text: the header as received).
ResponseHead ParseHead(std::string_view text) {
    ResponseHead head;
    head.opened = true;
    std::string_view line;
    bool ended;
    // "HTTP/1.1 200 OK": the code stands after the first blank.
    if (NextLine(&text, &line, &ended) && line.substr(0, 5) == "HTTP/") {
        std::size_t blank = line.find(' ');
        if (blank != std::string_view::npos && line.size() >= blank + 4 &&
            std::all_of(line.begin() + static_cast<long>(blank) + 1,
                        line.begin() + static_cast<long>(blank) + 4,
                        [](char c) { return c >= '0' && c <= '9'; })) {
            head.hasStatus = true;
            head.status = std::atoi(std::string(line.substr(blank + 1, 3)).c_str());
            head.reason = line.substr(blank + 1);
        }
    }
    while (head.hasStatus && NextLine(&text, &line, &ended)) {
        if (line.empty() && ended) {
            head.complete = true;
            break;
        }
        if (NameIs(line, "content-length")) {
            std::string v(Value(line));
            char* end = nullptr;
            errno = 0;
            unsigned long long n = std::strtoull(v.c_str(), &end, 10);
            if (end != v.c_str() && errno == 0 && v[0] != '-') {
                head.hasLength = true;
                head.length = n;
            }
        } else if (NameIs(line, "location")) {
            head.location = Value(line);
        } else if (NameIs(line, "transfer-encoding")) {
            if (!head.coding.empty()) head.coding += ", ";
            for (char c : Value(line))
                head.coding += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return head;
}

// "64 MB", "64 KB" or "100 bytes".
std::string SizeText(std::uint64_t n) {
    if (n >= (1u << 20) && n % (1u << 20) == 0) return std::to_string(n >> 20) + " MB";
    if (n >= 1024 && n % 1024 == 0) return std::to_string(n >> 10) + " KB";
    return std::to_string(n) + " bytes";
}

// "10 minutes", "0.4 seconds".
std::string DurationText(int ms) {
    char text[40];
    if (ms >= 60000 && ms % 60000 == 0) {
        std::snprintf(text, sizeof text, "%d minute%s", ms / 60000, ms == 60000 ? "" : "s");
    } else {
        std::snprintf(text, sizeof text, "%g seconds", ms / 1000.0);
    }
    return text;
}

// Decodes a chunked body as it arrives: chunk sizes in hex, extensions
// skipped, the trailer read and dropped; the chunks' data goes to a file.
class Dechunker {
  public:
    Dechunker(std::FILE* out, std::uint64_t maxBody) : out_(out), max_(maxBody) {}

    // Takes bytes of the body until its end; false on malformed chunking
    // (error() says what), a body past the limit (tooLarge()) or a failed
    // write (neither).
    bool Feed(const char* p, std::size_t n);
    bool done() const { return state_ == State::kDone; }
    bool tooLarge() const { return tooLarge_; }
    const std::string& error() const { return error_; }

  private:
    enum class State { kSize, kSizeDigits, kSizeLine, kData, kDataCr, kDataLf, kTrailer, kDone };
    bool Fail(const char* why) {
        error_ = why;
        return false;
    }

    std::FILE* out_;
    std::uint64_t max_, decoded_ = 0, left_ = 0;
    std::size_t lineBytes_ = 0;  // of a chunk's size line
    State state_ = State::kSize;
    HeaderEnd trailer_;
    bool tooLarge_ = false;
    std::string error_;
};

bool Dechunker::Feed(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n && state_ != State::kDone;) {
        char c = p[i];
        switch (state_) {
            case State::kData: {
                std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(left_, n - i));
                if (std::fwrite(p + i, 1, take, out_) != take) return Fail("");
                i += take;
                left_ -= take;
                if (left_ == 0) state_ = State::kDataCr;
                continue;
            }
            case State::kTrailer: {
                std::size_t taken = trailer_.Scan(p + i, n - i);
                i += taken;
                lineBytes_ += taken;  // the trailer's bytes so far
                if (trailer_.done()) {
                    state_ = State::kDone;
                } else if (lineBytes_ > kMaxReplyHeader) {
                    return Fail("its trailer is too long");
                }
                continue;
            }
            case State::kSize:
            case State::kSizeDigits: {
                int digit = std::isxdigit(static_cast<unsigned char>(c))
                                ? (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10)
                                : -1;
                if (digit >= 0) {
                    if (left_ >> 60) return Fail("a chunk size has too many digits");
                    left_ = left_ * 16 + static_cast<unsigned>(digit);
                    state_ = State::kSizeDigits;
                    break;
                }
                if (state_ == State::kSize || !std::strchr(" \t;\r\n", c))
                    return Fail("a chunk size is no hexadecimal number");
                state_ = State::kSizeLine;
                [[fallthrough]];
            }
            case State::kSizeLine:
                if (++lineBytes_ > kMaxReplyHeader) return Fail("a chunk's size line is too long");
                if (c != '\n') break;
                if (left_ > max_ - decoded_) {
                    tooLarge_ = true;
                    return false;
                }
                decoded_ += left_;
                state_ = left_ == 0 ? State::kTrailer : State::kData;
                lineBytes_ = 0;
                break;
            case State::kDataCr:
            case State::kDataLf:
                if (c == '\r' && state_ == State::kDataCr) {
                    state_ = State::kDataLf;
                } else if (c == '\n') {
                    state_ = State::kSize;
                } else {
                    return Fail("a chunk's data is longer than its size");
                }
                break;
            case State::kDone:
                break;
        }
        ++i;
    }
    return true;
}

// One reply as it arrives: the header (kept to be read, and saved once it
// ended) and then the body, in the two files of the request, until what the
// header says ends the reply.
class ReplyReader {
  public:
    ReplyReader(const std::string& host, const std::string (&paths)[2], std::FILE* const (&out)[2],
                std::uint64_t maxBody, bool isHead)
        : host_(host),
          paths_(paths),
          out_(out),
          max_(maxBody),
          isHead_(isHead),
          chunks_(out[1], maxBody) {}

    // How many bytes the next receive may take: never more than the body's rest.
    std::size_t Wanted() const {
        return end_ == End::kLength
                   ? static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, length_ - received_))
                   : kPiece;
    }
    // Takes the next n bytes; false after saying why the request is given up.
    bool Take(const char* p, std::size_t n);
    // Whether the reply is whole before the server closed the connection.
    bool Done() const {
        return header_.done() && (end_ == End::kNone || (end_ == End::kChunks && chunks_.done()) ||
                                  (end_ == End::kLength && received_ == length_));
    }
    // The server closed the connection: false after saying why the reply is
    // not whole. A header cut off is saved as it came, for its readers.
    bool Closed();

  private:
    enum class End { kNone, kLength, kChunks, kClose };  // what ends the body
    bool StartBody();
    bool Write(int i, const char* p, std::size_t n) {
        return std::fwrite(p, 1, n, out_[i]) == n || WriteFailed(i);
    }
    bool WriteFailed(int i) {
        return GiveUp("Cannot write " + paths_[i] + ": " + std::generic_category().message(errno));
    }
    bool GiveUp(const std::string& why) {
        sout(why);
        return false;
    }
    bool TooLarge() {
        return GiveUp("The reply of " + host_ + " is larger than " + SizeText(max_) +
                      ": the download is given up");
    }

    const std::string& host_;
    const std::string (&paths_)[2];
    std::FILE* const (&out_)[2];
    std::uint64_t max_, length_ = 0, received_ = 0;
    bool isHead_;
    HeaderEnd header_;
    std::string head_;
    End end_ = End::kNone;
    Dechunker chunks_;
};

bool ReplyReader::Take(const char* p, std::size_t n) {
    if (!header_.done()) {
        std::size_t inHead = header_.Scan(p, n);
        head_.append(p, inHead);
        if (head_.size() > kMaxReplyHeader)
            return GiveUp("The header of the reply of " + host_ + " is larger than " +
                          SizeText(kMaxReplyHeader) + ": the download is given up");
        if (!header_.done()) return true;
        if (!Write(0, head_.data(), head_.size()) || !StartBody()) return false;
        p += inHead;
        n -= inHead;
    }
    switch (end_) {
        case End::kNone:
            return true;
        case End::kChunks:
            if (chunks_.Feed(p, n)) return true;
            if (chunks_.tooLarge()) return TooLarge();
            if (chunks_.error().empty()) return WriteFailed(1);
            return GiveUp("The chunked reply of " + host_ + " is malformed (" + chunks_.error() +
                          "): the download is given up");
        case End::kLength:
            n = static_cast<std::size_t>(std::min<std::uint64_t>(n, length_ - received_));
            break;
        case End::kClose:
            if (n > max_ - received_) return TooLarge();
            break;
    }
    received_ += n;
    return Write(1, p, n);
}

bool ReplyReader::StartBody() {
    ResponseHead head = ParseHead(head_);
    // Nothing but a 2xx reply to a GET has a body of any use.
    if (isHead_ || !head.hasStatus || head.status / 100 != 2 || head.status == 204) return true;
    if (head.coding == "chunked") {
        end_ = End::kChunks;
    } else if (!head.coding.empty()) {
        return GiveUp("The reply of " + host_ + " comes in the transfer coding '" + head.coding +
                      "', which Nodescan does not read: the download is given up");
    } else if (head.hasLength) {
        if (head.length > max_) return TooLarge();
        end_ = End::kLength;
        length_ = head.length;
    } else {
        end_ = End::kClose;
    }
    return true;
}

bool ReplyReader::Closed() {
    if (!header_.done()) return Write(0, head_.data(), head_.size());
    if (end_ == End::kLength && received_ < length_)
        return GiveUp("The download from " + host_ + " was cut off: " + std::to_string(received_) +
                      " of " + std::to_string(length_) + " bytes");
    if (end_ == End::kChunks && !chunks_.done())
        return GiveUp("The download from " + host_ +
                      " was cut off: the chunked reply ended before its last chunk");
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

bool OnlyLoopback(const std::vector<std::string>& hosts) {
    return std::all_of(hosts.begin(), hosts.end(), [](const std::string& typed) {
        Server server;
        return ParseServer(typed, &server) && IsLoopbackHost(server.name);
    });
}

int IsConnected() {
    if (!InternetConnected()) {
        MessageBox(md, "No Internet Connection Found! ABORTING", "Connection Error",
                   MB_OK | MB_ICONERROR);
        return 0;
    }
    return 1;
}

bool LastRequestUnreachable() {
    return unreachable;
}

void ResetHttp() {
    unreachable = false;
}

namespace {
constexpr int kMaxRedirects = 5;

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Requests path on host, following redirects: 1 when a reply other than a
// redirect was saved under file, 0 after a status line saying why not.
int Fetch(const std::string& host, std::string path, const std::string& file,
          const std::string& method, std::uint64_t maxBody) {
    Server server;
    if (!ParseServer(host, &server)) {
        sout("Refused: '" + host + "' is not a host name (or host:port)");
        return 0;
    }
    std::vector<std::string> asked;  // the URLs requested
    for (int hop = 0;; ++hop) {
        if (!FillRequest(server, path, method, file) || GetHTTP(HostOf(server), file, maxBody) != 1)
            return 0;
        ResponseHead head = ReadResponseHead(file);
        if (!IsRedirect(head.status) || head.location.empty()) return 1;
        RemoveSaved(file);
        asked.push_back(Url(server, path));
        Server next;
        if (!Resolve(server, path, head.location, &next, &path)) {
            sout(file + " moved to '" + EscapedText(head.location) +
                 "', which is no http or https address: not followed");
            return 0;
        }
        std::string url = Url(next, path);
        if (server.tls && !next.tls) {
            sout("Refused: " + file + " moved from https to plain http (" + url +
                 "): not followed");
            return 0;
        }
        if (std::find(asked.begin(), asked.end(), url) != asked.end()) {
            sout(file + " moved back to " + url + ": the redirects go round in a loop");
            return 0;
        }
        if (hop == kMaxRedirects) {
            sout(file + " moved a sixth time (to " + url + "): at most " +
                 std::to_string(kMaxRedirects) + " redirects are followed");
            return 0;
        }
        sout(file + " moved to " + url);
        server = next;
    }
}
}  // namespace

int Download(const std::string& host, const std::string& file, const std::string& dir,
             const std::string& method, std::uint64_t maxBody) {
    unreachable = false;
    int r = 0;
    // A line break in a name would end a request line early.
    if (HasControlChar(host) || HasControlChar(dir) || HasControlChar(file)) {
        sout("Refused: the site's host, directory or file name holds a control character");
    } else {
        // A directory typed without its leading '/' still names a path from the root.
        std::string path = (dir.empty() || dir[0] == '/' ? "" : "/") + dir + "/" + file;
        r = Fetch(host, EncodedPath(path), file, method, maxBody);
    }
    ShowControl(md, kProgressBar, false);
    return r;
}

namespace {
// The progress bar's steps of a KB of the reply, passed to the window at most
// 60 times a second: a fast transfer would otherwise queue a call for every
// KB. Flush passes on what is left, so the bar ends where the steps lead.
class ProgressSteps {
  public:
    using Clock = std::chrono::steady_clock;
    void Received(std::uint64_t n) {
        received_ += n;
        Clock::time_point now = Clock::now();
        if (now - posted_ >= kInterval) Flush(now);
    }
    void Flush(Clock::time_point now = Clock::now()) {
        std::uint64_t kb = received_ >> 10;
        if (kb == stepped_) return;
        int steps = static_cast<int>(std::min<std::uint64_t>(kb - stepped_, 1u << 30));
        ProgressStepIt(md, kProgressBar, steps);
        stepped_ += static_cast<std::uint64_t>(steps);
        posted_ = now;
    }

  private:
    static constexpr auto kInterval = std::chrono::microseconds(1000000 / 60);
    std::uint64_t received_ = 0, stepped_ = 0;
    Clock::time_point posted_{};  // the first piece is shown at once
};

// The exchange of GetHTTP, to the end of the reply.
int Exchange(const std::string& host, const std::string& file, std::uint64_t maxBody) {
    using Clock = std::chrono::steady_clock;
    const int idleMs = NetTimeoutMs(), deadlineMs = NetDeadlineMs();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
    // The next wait for the server: the idle wait, or what is left of the deadline.
    auto wait = [&] {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, 0, idleMs));
    };
    Server server;
    if (!ParseServer(host, &server)) {
        sout("Refused: '" + host + "' is not a host name (or host:port)");
        return 0;
    }
    TcpConnection conn;
    std::string why;
    if (!conn.Connect(server.name, server.port, wait(), &why)) {
        unreachable = true;
        sout("Cannot connect to " + host + ": " + why);
        return 0;
    }
    // The same request and reply as over plain HTTP, through TLS.
    if (server.tls && !conn.StartTls(server.name, wait(), &why)) {
        sout("No secure connection to " + host + ": " + why);
        return 0;
    }
    dout("HTTP Header: Begin Send ---\n");
    for (int row = 0; row < kRequestRows; ++row) {
        dout(H[row]);
        if (!H[row][0]) break;
        bool more = row + 1 < kRequestRows && H[row + 1][0];
        if (!conn.Send(H[row], std::strlen(H[row]), more)) {
            sout("The connection to " + host + " broke while sending the request");
            return 0;
        }
    }
    dout("HTTP Header: Send Complete ---\n");
    dout("Now recieve");
    // The response is saved as it comes, in two files: its header (status
    // line, header lines and the empty line) in HeadPath, the body in
    // SavedPath. So a body needs no second copy to lose its header.
    const std::string paths[2] = {HeadPath(file), SavedPath(file)};
    std::FILE* const out[2] = {std::fopen(paths[0].c_str(), "wb"),
                               std::fopen(paths[1].c_str(), "wb")};
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
    ProgressSteps progress;
    ReplyReader reply(host, paths, out, maxBody, std::strncmp(H[0], "HEAD ", 5) == 0);
    while (result == 1 && !reply.Done()) {
        int waitMs = wait();
        long n = waitMs > 0 ? conn.Receive(piece, reply.Wanted(), waitMs) : -2;
        if (n == 0) {
            if (!reply.Closed()) result = -1;
            break;
        }
        result = -1;
        if (n <= 0) progress.Flush();
        if (n == -2 && waitMs < idleMs) {
            sout(host + " did not send its whole reply within " + DurationText(deadlineMs) +
                 ": the request is given up");
        } else if (n == -2) {
            sout(host + " sent nothing for " + DurationText(idleMs) + ": the request is given up");
        } else if (n < 0) {
            sout("The connection to " + host + " broke while receiving");
        } else if (reply.Take(piece, static_cast<std::size_t>(n))) {
            result = 1;
            progress.Received(static_cast<std::uint64_t>(n));
        }
    }
    progress.Flush();
    for (int i = 0; i < 2; ++i) {
        if (out[i] && std::fclose(out[i]) != 0 && result == 1) {
            sout("Cannot write " + paths[i] + ": " + std::generic_category().message(errno));
            result = -1;
        }
    }
    return result;
}
}  // namespace

int GetHTTP(const std::string& host, const std::string& file, std::uint64_t maxBody) {
    // However the request ends, its files go unless it succeeded; so does
    // an end of the program meanwhile.
    SetRunningTransfer(HeadPath(file), SavedPath(file));
    int result = Exchange(host, file, maxBody);
    if (result != 1) RemoveSaved(file);
    ClearRunningTransfer();
    return result;
}

ResponseHead ReadResponseHead(const std::string& file) {
    std::FILE* f = std::fopen(HeadPath(file).c_str(), "rb");
    if (!f) return {};
    // A saved header is never longer than a reply's header may be.
    std::string text(kMaxReplyHeader, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);
    return ParseHead(text);
}

namespace {
// The status line for a 3xx reply Download did not follow (no Location, or
// a status that is no redirect to follow, e.g. 300 or 304).
void Moved(const std::string& file, const ResponseHead& head) {
    sout(file + " has moved (" + head.reason + "): the site must name the file itself");
}
}  // namespace

std::uint32_t FindSize(const std::string& file, int site) {
    ResponseHead head = ReadResponseHead(file);
    if (!head.opened) return 0;
    std::string server = GetServerName(site);
    if (!head.hasStatus) {
        sout("Could NOT determine file size");
    } else if (head.status / 100 == 3) {
        Moved(file, head);
    } else if (head.status == 404) {
        sout("File not found on '" + server + "'");
    } else if (head.status / 100 != 2) {
        // "400 Bad Request" as "Bad Request (400)"
        std::string phrase = head.reason.size() > 4 ? head.reason.substr(4) : "Status";
        sout(phrase + " (" + head.reason.substr(0, 3) + ") from '" + server + "'");
    } else {
        // No size (a dynamic server): the body's limit holds all the same.
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(head.length, 0xFFFFFFFEu));
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
        Moved(file, head);
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
