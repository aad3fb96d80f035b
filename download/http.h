// A small HTTP/1.0 client: one file per request, a new connection each time,
// the response saved in the temporary directory under the file's name (the
// body, decoded when it came in chunks) with its header beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The request lines, each ending in CR LF, sent one by one; the first empty
// row ends the table.
inline constexpr int kRequestRows = 9;
extern char H[kRequestRows][1024];

// Finds where a response's header ends, piece by piece: after the first
// empty line (LF LF or LF CR LF), or at once when the response begins with one.
class HeaderEnd {
  public:
    // How many bytes of the piece belong to the header.
    std::size_t Scan(const char* p, std::size_t n);
    // Whether the empty line came.
    bool done() const { return done_; }

  private:
    bool done_ = false, crOnly_ = false;
    std::size_t lineBytes_ = 0;  // bytes of the current line so far
};

// Requests dir/file from host ("name", "a.b.c.d" or "[IPv6 address]", each
// with an optional ":port"; "https://" before it for TLS, "http://" or
// nothing for plain HTTP) with method GET or HEAD, the path's bytes other
// than unreserved ones and '/' percent-encoded, and saves the response under
// the file's name in the temporary directory: its header in HeadPath, its
// body in SavedPath. 1 when the reply came whole, 0 on any failure (a status
// line says why, except when the server could not be reached: see
// LastRequestUnreachable), and then nothing of it stays in the temporary
// directory.
//
// Redirects (301, 302, 303, 307, 308 with a Location) are followed, each
// with a status line "FILE moved to URL", to any host, at most 5 of them:
// a sixth, a loop back to a URL already asked, https to plain http or a
// Location that is no http or https URL fail the request. The reply saved is
// the last one, under file's name all the same.
//
// Whole: the header (at most kMaxReplyHeader) up to its empty line, or up to
// the server's close when it ends inside it; and for a GET answered 2xx the
// body: as many bytes as Content-Length says, else the chunks of
// "Transfer-Encoding: chunked" decoded up to the last one, else everything
// up to a clean close. HEAD replies and other statuses end with the header.
// maxBody bounds the body (decoded): past it the transfer stops with a status
// line naming the limit, and the request fails. The whole request has
// NetDeadlineMs, each wait for the server NetTimeoutMs.
inline constexpr std::uint64_t kMaxReplyHeader = 64ull << 10;
inline constexpr std::uint64_t kMaxWaypointBody = 64ull << 20;
inline constexpr std::uint64_t kMaxUpdateArchive = 256ull << 20;
inline constexpr std::uint64_t kMaxVersionFile = 64ull << 10;
int Download(const std::string& host, const std::string& file, const std::string& dir,
             const std::string& method, std::uint64_t maxBody = kMaxWaypointBody);
// The exchange itself, once H is filled: 1 saved, 0 not sent, -1 not received.
int GetHTTP(const std::string& host, const std::string& file,
            std::uint64_t maxBody = kMaxWaypointBody);
// Whether the last request failed because its server could not be reached.
bool LastRequestUnreachable();
// Forgets the last request's outcome (tests: a new run).
void ResetHttp();
// Whether every host (as a site has it: host, host:port, [IPv6]:port, with
// a scheme or not) is on
// this machine's loopback interface, which needs no network connection.
bool OnlyLoopback(const std::vector<std::string>& hosts);
// 1 when connected; else tells the user and returns 0.
int IsConnected();

// The size a saved HEAD response announces (its Content-Length); 0 when a
// 2xx reply announces none or the saved response cannot be opened;
// 0xFFFFFFFF after telling why the file cannot be fetched (no reply, a
// redirect Download did not follow, an error status). site names the server.
std::uint32_t FindSize(const std::string& file, int site);
// Whether a saved GET response is a 2xx reply whose body lies whole in the
// saved file: 1 yes, 0 after telling why not (error status, a redirect
// Download did not follow, no reply, header cut off).
int CheckFile(const std::string& file);
// The status line "Error Connecting to 'NAME'".
void ServerError(int site);

// What the head of a saved response says.
struct ResponseHead {
    bool opened = false;     // the file could be read
    bool hasStatus = false;  // it begins with an HTTP status line
    int status = 0;          // e.g. 200
    std::string reason;      // the status line from its code on, without line end
    bool complete = false;   // an empty line ended the header
    bool hasLength = false;  // a Content-Length header came
    std::uint64_t length = 0;
    std::string coding;    // Transfer-Encoding's value in lower case, "" when none came
    std::string location;  // the Location header's value, "" when none came
};
ResponseHead ReadResponseHead(const std::string& file);
// Where the response to a request for file is saved: its body, and its
// header (up to the empty line that ends it) beside it.
std::string SavedPath(const std::string& file);
std::string HeadPath(const std::string& file);
// Removes what a request for file saved (its body and its header).
void RemoveSaved(const std::string& file);
