// libFuzzer target for the waypoint header reader. The input is written as a
// waypoint file and read for every bot. Whatever the bytes, the version is
// the 32-bit little-endian number at offset 8 (a short file reads as padded
// with zero bytes), every text field keeps its terminator, and a Pod Bot
// author is the start of the 32 bytes at offset 48.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "bots/bots.h"
#include "check/header.h"
#include "core/fields.h"
#include "fuzz/fuzz_env.h"

namespace {
// A Joe Bot file's author is the name of its set's directory.
const char kSet[] = "team1";
const char kFile[] = "de_dust.wpt";
std::string dir;

template <std::size_t N>
bool Terminated(const char (&field)[N]) {
    return strnlen(field, N) < N;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dir = fuzzenv::PrivateDir() + "/" + kSet;
    fuzzenv::MakeDirs(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzenv::WriteFile(dir + "/" + kFile, data, size);
    unsigned char head[84] = {};
    if (size > 0) std::memcpy(head, data, size < sizeof head ? size : sizeof head);
    std::uint32_t version =
        head[8] | head[9] << 8 | head[10] << 16 | static_cast<std::uint32_t>(head[11]) << 24;
    std::string_view author(reinterpret_cast<const char*>(head + 48),
                            strnlen(reinterpret_cast<const char*>(head + 48), 32));

    for (int bot = 0; bot < kBotCount; ++bot) {
        HeaderInfo info = CheckHeader(bot, kFile, dir);
        fuzzenv::Expect(info.version == version, "the version is the number at offset 8");
        fuzzenv::Expect(Terminated(info.versionText) && Terminated(info.author),
                        "the text fields keep their terminators");
        fuzzenv::Expect(info.versionText[0] != 0, "a read file has a version text");
        std::string shown = FieldText(info.author);
        if (bot == kPodBot) {
            fuzzenv::Expect(author.substr(0, shown.size()) == shown,
                            "a Pod Bot author is the start of the author bytes");
        } else if (bot == kJoeBot) {
            fuzzenv::Expect(shown == kSet, "a Joe Bot author is the set's name");
        } else {
            fuzzenv::Expect(shown == "N/A", "the other bots' files name no author");
        }
    }
    return 0;
}
