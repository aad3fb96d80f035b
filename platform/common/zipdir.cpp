#include "platform/common/zipdir.h"

#include <algorithm>
#include <cstring>

namespace {
// The archive's records, little-endian.
std::uint16_t U16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t U32(const unsigned char* p) {
    return U16(p) | static_cast<std::uint32_t>(U16(p + 2)) << 16;
}
}  // namespace

bool ReadZipAt(std::FILE* f, std::int64_t at, unsigned char* buf, std::size_t n) {
    return std::fseek(f, static_cast<long>(at), SEEK_SET) == 0 && std::fread(buf, 1, n, f) == n;
}

ZipFault ReadZipDirectory(std::FILE* f, ZipDirectory* dir) {
    constexpr long kEndRecord = 22, kLongestComment = 0xFFFF;
    if (std::fseek(f, 0, SEEK_END) != 0) return ZipFault::kUnreadable;
    long size = std::ftell(f);
    if (size < 0) return ZipFault::kUnreadable;
    if (size < kEndRecord) return ZipFault::kTooShort;
    long tail = std::min(size, kEndRecord + kLongestComment);
    std::vector<unsigned char> end(static_cast<std::size_t>(tail));
    if (!ReadZipAt(f, size - tail, end.data(), end.size())) return ZipFault::kUnreadable;
    // The end record is the last signature whose comment fits in the file.
    long at = tail - kEndRecord;
    while (at >= 0 &&
           (std::memcmp(&end[at], "PK\5\6", 4) != 0 || at + kEndRecord + U16(&end[at + 20]) > tail))
        --at;
    if (at < 0) return ZipFault::kNoEndRecord;
    unsigned count = U16(&end[at + 10]);
    std::uint32_t dirSize = U32(&end[at + 12]), dirOffset = U32(&end[at + 16]);
    if (dirOffset + static_cast<std::uint64_t>(dirSize) > static_cast<std::uint64_t>(size))
        return ZipFault::kOutside;
    std::vector<unsigned char> records(dirSize);
    if (!ReadZipAt(f, dirOffset, records.data(), records.size())) return ZipFault::kUnreadable;
    dir->size = size;
    dir->entries.clear();
    for (std::size_t p = 0; count-- > 0;) {
        if (p + 46 > records.size() || std::memcmp(&records[p], "PK\1\2", 4) != 0)
            return ZipFault::kUnreadable;
        const unsigned char* r = &records[p];
        std::size_t next = p + 46 + U16(r + 28) + U16(r + 30) + U16(r + 32);
        if (next > records.size()) return ZipFault::kUnreadable;
        dir->entries.push_back({std::string(reinterpret_cast<const char*>(r + 46), U16(r + 28)),
                                U16(r + 8), U16(r + 10), U32(r + 16), U32(r + 20), U32(r + 24),
                                U32(r + 42)});
        p = next;
    }
    return ZipFault::kNone;
}

bool ReadZipLocalHeader(std::FILE* f, const ZipDirectory& dir, const ZipEntry& e,
                        ZipLocalHeader* h) {
    unsigned char r[30];
    if (e.offset + static_cast<std::uint64_t>(sizeof r) > static_cast<std::uint64_t>(dir.size) ||
        !ReadZipAt(f, e.offset, r, sizeof r) || std::memcmp(r, "PK\3\4", 4) != 0)
        return false;
    *h = {U16(r + 6),  U16(r + 8),
          U32(r + 14), U32(r + 18),
          U32(r + 22), static_cast<std::int64_t>(e.offset + sizeof r) + U16(r + 26) + U16(r + 28)};
    return true;
}
