#include "check/header.h"

#include <cstdio>
#include <cstring>

#include "bots/bots.h"
#include "platform/files.h"

namespace {
constexpr std::size_t kHeaderSize = 84;
constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kAuthorOffset = 48;
constexpr std::size_t kAuthorSize = 32;

template <std::size_t N>
void Copy(char (&out)[N], const char* text, std::size_t len) {
    len = std::min(len, N - 1);
    std::memcpy(out, text, len);
    out[len] = 0;
}

template <std::size_t N>
void Copy(char (&out)[N], const std::string& text) {
    Copy(out, text.data(), text.size());
}
}  // namespace

HeaderInfo CheckHeader(int bot, const std::string& name, const std::string& dir) {
    HeaderInfo info{};
    Copy(info.author, "N/A");
    std::FILE* f = OpenFile(JoinPath(dir, name), "rb");
    if (!f) return info;
    unsigned char buf[kHeaderSize] = {};
    // A short file reads as if padded with zero bytes; one that cannot be
    // read at all (a directory, an I/O error) has no header.
    std::size_t got = std::fread(buf, 1, sizeof buf, f);
    bool failed = got == 0 && std::ferror(f);
    std::fclose(f);
    if (failed) return info;

    info.version = static_cast<std::uint32_t>(buf[kVersionOffset]) |
                   static_cast<std::uint32_t>(buf[kVersionOffset + 1]) << 8 |
                   static_cast<std::uint32_t>(buf[kVersionOffset + 2]) << 16 |
                   static_cast<std::uint32_t>(buf[kVersionOffset + 3]) << 24;
    if (info.version <= 260) {
        std::snprintf(info.versionText, sizeof info.versionText, "%u", info.version);
    } else {
        Copy(info.versionText, "Unkown!");
    }

    if (bot == kPodBot) {
        if (info.version <= 5) {
            Copy(info.versionText, "Pre v1.4");
        } else if (info.version == 6) {
            Copy(info.versionText, "v1.4");
        } else {
            std::snprintf(info.versionText, sizeof info.versionText, "v%d",
                          static_cast<std::int32_t>(info.version - 5));
        }
        const char* author = reinterpret_cast<const char*>(buf + kAuthorOffset);
        Copy(info.author, author, strnlen(author, kAuthorSize));
    } else if (bot == kJoeBot) {
        std::size_t slash = dir.rfind('/');
        std::string set = slash == std::string::npos ? dir : dir.substr(slash + 1);
        if (set == "std") {
            Copy(info.author, "Standard");
        } else {
            Copy(info.author, set.substr(0, 29));
        }
    }
    return info;
}
