// The records of a ZIP archive that say what it holds and where: the end
// record, the central directory and each entry's local header. The archive
// installation checks entries against them; the Windows build also unpacks
// with them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One entry as the central directory records it.
struct ZipEntry {
    std::string name;  // as stored, with any folder part
    std::uint16_t flags, method;
    std::uint32_t crc, csize, usize, offset;  // offset: of the local header
};

struct ZipDirectory {
    long size = 0;                  // of the archive
    std::vector<ZipEntry> entries;  // in the archive's order
};

// Why a central directory could not be read.
enum class ZipFault {
    kNone,
    kTooShort,     // the file cannot hold an end record
    kNoEndRecord,  // no end record in the last 64 KiB + 22 bytes
    kOutside,      // the directory the end record names lies outside the file
    kUnreadable,   // reading failed, or the directory's records run past its end
};

// n bytes at offset at, which lies within the archive; false when they
// cannot be read whole.
bool ReadZipAt(std::FILE* f, std::int64_t at, unsigned char* buf, std::size_t n);

ZipFault ReadZipDirectory(std::FILE* f, ZipDirectory* dir);

// An entry's local header; data: where its data start.
struct ZipLocalHeader {
    std::uint16_t flags, method;
    std::uint32_t crc, csize, usize;
    std::int64_t data;
};

// False when the entry's local header cannot be read whole or lacks its
// signature.
bool ReadZipLocalHeader(std::FILE* f, const ZipDirectory& dir, const ZipEntry& e,
                        ZipLocalHeader* h);
