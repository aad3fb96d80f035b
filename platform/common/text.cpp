#include "platform/text.h"

#include <algorithm>
#include <cstdint>

namespace {
// The length of the UTF-8 sequence at s[i], or 0 when it is malformed.
std::size_t SequenceLength(std::string_view s, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    if (c < 0x80) return 1;
    std::size_t n;
    std::uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4, cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (byte(i + k) & 0x3F);
    }
    if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
        return 0;
    return n;
}

// Windows-1252 from 0x80 to 0x9F; the five unassigned bytes map to the C1
// controls of the same number, as the original platform's conversion does.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
}  // namespace

void AppendUtf8(std::string& out, std::uint32_t cp) {
    auto put = [&out](std::uint32_t b) { out.push_back(static_cast<char>(b)); };
    if (cp < 0x80) {
        put(cp);
    } else if (cp < 0x800) {
        put(0xC0 | cp >> 6);
        put(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        put(0xE0 | cp >> 12);
        put(0x80 | (cp >> 6 & 0x3F));
        put(0x80 | (cp & 0x3F));
    } else {
        put(0xF0 | cp >> 18);
        put(0x80 | (cp >> 12 & 0x3F));
        put(0x80 | (cp >> 6 & 0x3F));
        put(0x80 | (cp & 0x3F));
    }
}

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t n = SequenceLength(bytes, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string ShownText(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        auto c = static_cast<unsigned char>(ch);
        AppendUtf8(out, c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c);
    }
    return out;
}

std::size_t FitText(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    if (!IsValidUtf8(text)) return maxBytes;
    std::size_t n = maxBytes;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

std::string FirstChars(std::string_view text, std::size_t n) {
    if (!IsValidUtf8(text)) return std::string(text.substr(0, n));
    std::size_t end = 0;
    for (std::size_t chars = 0; end < text.size() && chars < n; ++chars)
        end += SequenceLength(text, end);
    return std::string(text.substr(0, end));
}

bool HasControlChar(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::string EscapedText(std::string_view bytes, bool keepNewlines) {
    static const char hex[] = "0123456789abcdef";
    std::string shown = ShownText(bytes), out;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        auto c = static_cast<unsigned char>(shown[i]);
        // The C1 controls (U+0080 to U+009F) are two bytes, C2 80 to C2 9F.
        bool c1 =
            c == 0xC2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) < 0xA0;
        if ((c >= 0x20 && c != 0x7F && !c1) || (keepNewlines && c == '\n')) {
            out.push_back(shown[i]);
        } else if (c == '\n' || c == '\t' || c == '\r') {
            out += c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\r";
        } else {
            if (c1) c = static_cast<unsigned char>(shown[++i]);  // the code point itself
            out += c1 ? "\\u00" : "\\x";
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}
