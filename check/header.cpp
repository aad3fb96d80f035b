#include "check/header.h"

#include <cstring>

#include "bots/bots.h"
#include "core/fields.h"
#include "platform/files.h"

namespace {
constexpr std::size_t kHeaderSize = 84;
constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kAuthorOffset = 48;
constexpr std::size_t kAuthorSize = 32;

}  // namespace

HeaderInfo CheckHeader(int bot, const std::string& name, const std::string& dir, FileStart* file) {
    HeaderInfo info{};
    SetFieldText(info.author, "N/A");
    // A short file reads as if padded with zero bytes; one that cannot be
    // read at all (a directory, an I/O error) has no header.
    unsigned char buf[kHeaderSize] = {};
    FileStart start = ReadFileStart(JoinPath(dir, name), buf, sizeof buf);
    if (file) *file = start;
    if (!start.read) return info;

    info.version = static_cast<std::uint32_t>(buf[kVersionOffset]) |
                   static_cast<std::uint32_t>(buf[kVersionOffset + 1]) << 8 |
                   static_cast<std::uint32_t>(buf[kVersionOffset + 2]) << 16 |
                   static_cast<std::uint32_t>(buf[kVersionOffset + 3]) << 24;
    if (info.version <= 260) {
        std::string text;
        AppendNumber(text, info.version);
        SetFieldText(info.versionText, text);
    } else {
        // "Unkown": kept as the original program spells it.
        SetFieldText(info.versionText, "Unkown!");
    }

    if (bot == kPodBot) {
        if (info.version <= 5) {
            SetFieldText(info.versionText, "Pre v1.4");
        } else if (info.version == 6) {
            SetFieldText(info.versionText, "v1.4");
        } else {
            std::string text = "v";
            AppendNumber(text, static_cast<std::int32_t>(info.version - 5));
            SetFieldText(info.versionText, text);
        }
        const char* author = reinterpret_cast<const char*>(buf + kAuthorOffset);
        SetFieldText(info.author, std::string_view(author, strnlen(author, kAuthorSize)));
    } else if (bot == kJoeBot) {
        std::size_t slash = dir.rfind('/');
        std::string set = slash == std::string::npos ? dir : dir.substr(slash + 1);
        if (set == "std") {
            SetFieldText(info.author, "Standard");
        } else {
            SetFieldText(info.author, set, 29);
        }
    }
    return info;
}
