// Reading ZIP archives for the Windows build: the central directory and
// local headers as platform/common/zipdir.h reads them, the entries' data
// stored or inflated with zlib. Like zziplib, it leaves the CRC-32 to the
// caller.
#include "zzip/zzip.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/common/zipdir.h"
#include "platform/files.h"

struct zzip_dir {
    std::FILE* file;
    ZipDirectory records;
    int errcode = ZZIP_NO_ERROR;
};

struct zzip_file {
    ZZIP_DIR* dir;
    bool deflated;
    std::int64_t at;       // the next compressed byte in the archive
    std::uint32_t input;   // compressed bytes not yet read
    std::uint32_t output;  // bytes the entry may still yield
    bool ended = false;    // the deflated stream's end was met
    z_stream z{};
    unsigned char in[1 << 14];
};

namespace {
int Fail(ZZIP_DIR* dir, int code) {
    dir->errcode = code;
    return -1;
}
}  // namespace

ZZIP_DIR* zzip_dir_open(zzip_char_t* filename, zzip_error_t* errcode_p) {
    zzip_error_t err = ZZIP_NO_ERROR;
    auto* dir = new (std::nothrow) zzip_dir;
    std::FILE* file = dir ? OpenFile(filename ? filename : "", "rb") : nullptr;
    if (!dir) {
        err = ZZIP_OUTOFMEM;
    } else if (!file) {
        err = ZZIP_DIR_OPEN;
    } else {
        switch (ReadZipDirectory(file, &dir->records)) {
            case ZipFault::kNone:
                // zziplib takes an archive without entries for a damaged one.
                if (dir->records.entries.empty()) err = ZZIP_CORRUPTED;
                break;
            case ZipFault::kTooShort:
                err = ZZIP_DIR_TOO_SHORT;
                break;
            case ZipFault::kNoEndRecord:
                err = ZZIP_DIR_EDH_MISSING;
                break;
            case ZipFault::kOutside:
                err = ZZIP_CORRUPTED;
                break;
            case ZipFault::kUnreadable:
                err = ZZIP_DIR_READ;
                break;
        }
    }
    if (errcode_p) *errcode_p = err;
    if (err == ZZIP_NO_ERROR) {
        dir->file = file;
        return dir;
    }
    if (file) std::fclose(file);
    delete dir;
    return nullptr;
}

int zzip_dir_close(ZZIP_DIR* dir) {
    if (!dir) return -1;
    std::fclose(dir->file);
    delete dir;
    return 0;
}

ZZIP_FILE* zzip_file_open(ZZIP_DIR* dir, zzip_char_t* name, int flags) {
    if (!dir) return nullptr;
    const std::vector<ZipEntry>& entries = dir->records.entries;
    auto e = std::find_if(entries.begin(), entries.end(), [&](const ZipEntry& entry) {
        return name && flags == 0 && entry.name == name;
    });
    ZipLocalHeader h{};
    if (e == entries.end()) {
        Fail(dir, ZZIP_ENOENT);
    } else if ((e->flags & 1) || (e->method != 0 && e->method != 8)) {
        Fail(dir, ZZIP_UNSUPP_COMPR);
    } else if (!ReadZipLocalHeader(dir->file, dir->records, *e, &h) ||
               h.data + e->csize > dir->records.size) {
        Fail(dir, ZZIP_CORRUPTED);
    } else if (h.flags & 1) {
        Fail(dir, ZZIP_UNSUPP_COMPR);
    } else {
        auto* file = new (std::nothrow) zzip_file;
        bool deflated = e->method == 8;
        if (file && (!deflated || inflateInit2(&file->z, -MAX_WBITS) == Z_OK)) {
            file->dir = dir;
            file->deflated = deflated;
            file->at = h.data;
            file->input = e->csize;
            // A stored entry yields its data up to its recorded size.
            file->output = deflated ? e->usize : std::min(e->csize, e->usize);
            return file;
        }
        delete file;
        Fail(dir, ZZIP_OUTOFMEM);
    }
    return nullptr;
}

zzip_ssize_t zzip_file_read(ZZIP_FILE* fp, void* buf, zzip_size_t len) {
    if (!fp || !buf) return -1;
    // At most what the entry may still yield, and what one call can report.
    auto want = static_cast<std::uint32_t>(std::min<zzip_size_t>({len, fp->output, 1u << 30}));
    if (want == 0 || fp->ended) return 0;
    auto* out = static_cast<unsigned char*>(buf);
    if (!fp->deflated) {
        if (!ReadZipAt(fp->dir->file, fp->at, out, want)) return Fail(fp->dir, ZZIP_DIR_READ);
        fp->at += want;
        fp->output -= want;
        return want;
    }
    fp->z.next_out = out;
    fp->z.avail_out = want;
    while (fp->z.avail_out > 0) {
        if (fp->z.avail_in == 0 && fp->input > 0) {
            auto n = std::min<std::uint32_t>(fp->input, sizeof fp->in);
            if (!ReadZipAt(fp->dir->file, fp->at, fp->in, n)) return Fail(fp->dir, ZZIP_DIR_READ);
            fp->at += n;
            fp->input -= n;
            fp->z.next_in = fp->in;
            fp->z.avail_in = n;
        }
        int ret = inflate(&fp->z, Z_NO_FLUSH);
        if (ret == Z_STREAM_END) {
            fp->ended = true;
            break;
        }
        // Damaged data, or a stream that goes on past the entry's
        // compressed size.
        if (ret != Z_OK) return Fail(fp->dir, ZZIP_CORRUPTED);
    }
    std::uint32_t got = want - fp->z.avail_out;
    fp->output -= got;
    return got;
}

int zzip_file_close(ZZIP_FILE* fp) {
    if (!fp) return -1;
    if (fp->deflated) inflateEnd(&fp->z);
    delete fp;
    return 0;
}

const char* zzip_strerror(int errcode) {
    switch (errcode) {
        case ZZIP_NO_ERROR:
            return "Success";
        case ZZIP_OUTOFMEM:
            return "could not get temporary memory for internal structures";
        case ZZIP_DIR_OPEN:
            return "Failed to open zip-file %s";
        case ZZIP_DIR_STAT:
            return "Failed to fstat zip-file %s";
        case ZZIP_DIR_SEEK:
            return "Failed to lseek zip-file %s";
        case ZZIP_DIR_READ:
            return "Failed to read zip-file %s";
        case ZZIP_DIR_TOO_SHORT:
            return "zip-file %s too short";
        case ZZIP_DIR_EDH_MISSING:
            return "zip-file central directory not found";
        case ZZIP_DIRSIZE:
            return "Directory size too big...";
        case ZZIP_ENOENT:
            return "No such file found in zip-file %s";
        case ZZIP_UNSUPP_COMPR:
            return "Unsupported compression format";
        case ZZIP_CORRUPTED:
            return "Zipfile corrupted";
        default:
            // zlib's codes are small negative numbers; the system's, positive.
            return errcode < 0 && errcode > -100 ? zError(errcode) : std::strerror(errcode);
    }
}

const char* zzip_strerror_of(ZZIP_DIR* dir) {
    return zzip_strerror(dir ? dir->errcode : ZZIP_NO_ERROR);
}
