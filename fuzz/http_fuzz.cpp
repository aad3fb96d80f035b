// libFuzzer target for saved HTTP replies. The input is a reply as a server
// sends it. It is split into header and body as the download does while the
// reply arrives, in pieces whose sizes are drawn from the input itself: the
// split must not depend on the pieces, and it must fall after the first
// empty line. The two parts are then saved where the download saves them
// and read back as the download's callers read them: a reply accepted as
// whole must be a 2xx reply whose header really ended, and the size found
// must be the one its head announces.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "download/http.h"
#include "fuzz/fuzz_env.h"
#include "platform/headless/host.h"

namespace {
const char kFile[] = "de_dust.zip";
constexpr std::size_t kPiece = 1024;  // what one receive takes at most

// Where the header ends when the whole reply is looked at: just after the
// first line that is empty or holds only CR; the whole reply when none is.
std::size_t ExpectedHeadSize(std::string_view reply, bool* ended) {
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < reply.size(); ++i) {
        if (reply[i] != '\n') continue;
        if (i == lineStart || (i == lineStart + 1 && reply[lineStart] == '\r')) {
            *ended = true;
            return i + 1;
        }
        lineStart = i + 1;
    }
    *ended = false;
    return reply.size();
}

// The split as the download makes it, the reply arriving in pieces of the
// sizes a generator seeded by the reply gives: mostly small, some up to a
// whole receive.
std::size_t SplitInPieces(std::string_view reply) {
    std::uint64_t state = 1469598103934665603ull;
    for (char c : reply) state = (state ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    HeaderEnd header;
    std::size_t inHead = 0;
    bool headDone = false;
    for (std::size_t at = 0; at < reply.size();) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        std::uint32_t r = static_cast<std::uint32_t>(state >> 33);
        std::size_t n = 1 + (r % 4 == 0 ? r % kPiece : r % 16);
        n = std::min(n, reply.size() - at);
        std::size_t taken = header.Scan(reply.data() + at, n);
        // Once a piece ended the header, later pieces are all body.
        fuzzenv::Expect(taken <= n && !(headDone && taken != 0),
                        "after the piece that ends the header, everything is body");
        inHead += taken;
        if (taken < n) headDone = true;
        at += n;
    }
    return inHead;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzenv::SetUpProgram();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    headless::Reset();  // the status lines and message boxes of the last input
    std::string_view reply(reinterpret_cast<const char*>(data), size);
    bool ended = false;
    std::size_t expected = ExpectedHeadSize(reply, &ended);
    HeaderEnd whole;
    std::size_t inHead = whole.Scan(reply.data(), reply.size());
    fuzzenv::Expect(inHead == expected, "the header ends after its first empty line");
    fuzzenv::Expect(SplitInPieces(reply) == expected,
                    "the header ends at the same byte whatever the pieces");

    fuzzenv::WriteFile(HeadPath(kFile), data, inHead);
    fuzzenv::WriteFile(SavedPath(kFile), data + inHead, size - inHead);
    ResponseHead head = ReadResponseHead(kFile);
    fuzzenv::Expect(head.opened, "the saved header can be read");
    bool ok = head.hasStatus && head.status / 100 == 2;

    std::uint32_t announced = FindSize(kFile, 0);
    std::uint32_t want =
        ok ? static_cast<std::uint32_t>(std::min<std::uint64_t>(head.length, 0xFFFFFFFEu))
           : 0xFFFFFFFFu;
    fuzzenv::Expect(announced == want,
                    "the size found is the one the header announces, 0 when it announces none");

    int accepted = CheckFile(kFile);
    fuzzenv::Expect(accepted == (ok && head.complete ? 1 : 0),
                    "a whole 2xx reply is accepted, any other refused");
    // The saved body is what follows the header's empty line.
    fuzzenv::Expect(accepted == 0 || ended,
                    "a reply accepted as whole has a header that ended where it was split");
    return 0;
}
