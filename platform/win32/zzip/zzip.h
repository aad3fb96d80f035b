// The part of zziplib's interface that the program reads archives with, for
// the Windows build, where zziplib is not at hand: platform/win32/zzip.cpp
// provides it on zlib. The names, error codes and texts are zziplib's, so
// that both builds report the same.
#pragma once

#include <cstddef>

typedef enum {
    ZZIP_NO_ERROR = 0,
    ZZIP_OUTOFMEM = -4116,
    ZZIP_DIR_OPEN = -4117,
    ZZIP_DIR_STAT = -4118,
    ZZIP_DIR_SEEK = -4119,
    ZZIP_DIR_READ = -4120,
    ZZIP_DIR_TOO_SHORT = -4121,
    ZZIP_DIR_EDH_MISSING = -4122,
    ZZIP_DIRSIZE = -4123,
    ZZIP_ENOENT = -4124,
    ZZIP_UNSUPP_COMPR = -4125,
    ZZIP_CORRUPTED = -4127,
} zzip_error_t;

typedef struct zzip_dir ZZIP_DIR;
typedef struct zzip_file ZZIP_FILE;
typedef std::ptrdiff_t zzip_ssize_t;
typedef std::size_t zzip_size_t;
typedef const char zzip_char_t;

// Opens the archive at filename (UTF-8) and reads its central directory;
// null, with the reason in *errcode_p when given, when it cannot.
ZZIP_DIR* zzip_dir_open(zzip_char_t* filename, zzip_error_t* errcode_p);
int zzip_dir_close(ZZIP_DIR* dir);

// Opens the first entry stored under name exactly (case and folder part);
// flags must be 0. Null, with the reason in the directory, when it is
// missing, encrypted, of a method other than stored or deflated, or its
// local header or data lie outside the archive.
ZZIP_FILE* zzip_file_open(ZZIP_DIR* dir, zzip_char_t* name, int flags);
// The next at most len bytes of the entry, never more than its recorded
// uncompressed size; 0 at its end, -1 when its data are damaged or cut.
zzip_ssize_t zzip_file_read(ZZIP_FILE* fp, void* buf, zzip_size_t len);
int zzip_file_close(ZZIP_FILE* fp);

const char* zzip_strerror(int errcode);
// The reason of the directory's last failure.
const char* zzip_strerror_of(ZZIP_DIR* dir);
