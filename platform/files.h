// Files and directories. Name matching ignores ASCII letter case everywhere
// the program looks a name up; the name on disk is what is used afterwards.
// Nothing here changes the process's current directory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// dir and name joined with one '/' (dir kept as it is when it ends in one).
std::string JoinPath(const std::string& dir, const std::string& name);

// path by its text alone, links not looked at: without "." components and
// repeated slashes, each ".." taking out the component before it (at the
// root it stays the root). "/g/./cstrike//../x/" is "/g/x/": a trailing '/'
// is kept.
std::string NormalPath(const std::string& path);

// path made absolute against the process's current directory, then
// normalised as NormalPath does.
std::string AbsolutePath(const std::string& path);

// The listing order: bytes compared after folding ASCII letters to upper
// case, ties in plain byte order.
bool ListingLess(const std::string& a, const std::string& b);
// Sorts names into ListingLess order.
void SortListing(std::vector<std::string>* names);

// Lower-case ASCII folding, for case-insensitive keys.
std::string FoldCase(std::string s);
// Whether a and b are equal ignoring ASCII letter case.
bool EqualIgnoreCase(const std::string& a, const std::string& b);

// The path as it is on disk: each component that does not exist as written
// is matched ignoring case (the first in listing order wins). False when a
// component matches nothing.
bool ResolvePath(const std::string& path, std::string* actual);
// The path as it is on disk as far as it exists (as ResolvePath), the rest
// as written: where a directory is to be made or written, or shown before it
// exists.
std::string ResolveExisting(const std::string& path);

// Whether path names a file or directory, ignoring case.
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);

// The names of dir's entries (files and directories alike) that match the
// mask "*.ext", ignoring case, in listing order. False (errno set) when dir
// cannot be read; an empty path is never read as the current directory.
bool ListDirectory(const std::string& dir, const std::string& mask, std::vector<std::string>* out);

// One listing of a directory, for name tests without a system call per name.
class DirectoryIndex {
  public:
    explicit DirectoryIndex(const std::string& dir);
    // Whether an entry of that name exists, ignoring case.
    bool Contains(const std::string& name) const;
    // Whether an entry has the stem and the last extension of name, whatever
    // lies between: "cs_town.bsp" matches cs_town.final.bsp.
    bool ContainsStem(const std::string& name) const;
    // The directory as it is on disk (the path given when it does not exist).
    const std::string& dir() const { return dir_; }
    // 0, or the errno value of why the directory could not be read.
    int error() const { return error_; }

  private:
    std::string dir_;
    int error_ = 0;
    // Sorted, for binary search: one vector for the whole listing instead
    // of a node per name; the stems are made only when asked for.
    std::vector<std::string> folded_;         // the names, case folded
    mutable std::vector<std::string> stems_;  // folded stem.ext of each name
    mutable bool stemsMade_ = false;
};

// Opens path (resolved ignoring case) for reading with fopen's mode ("r" or
// "rb"). Only a regular file is opened: a pipe, a device or a directory gives
// null without blocking (errno EISDIR for a directory, EINVAL for the others).
std::FILE* OpenFile(const std::string& path, const char* mode);

// What ReadFileStart found of a file.
struct FileStart {
    bool haveTime = false;   // the path names something, whose last-write time is mtime
    std::int64_t mtime = 0;  // seconds since the epoch
    bool read = false;       // a regular file, got bytes of it read
    std::size_t got = 0;
};
// The last-write time of path (resolved ignoring case) and, when it is a
// regular file, its first bytes (up to size; fewer at its end), with one
// open, one fstat and a read: what stat and OpenFile with fread would
// find. Nothing but a regular file is read, and nothing blocks.
FileStart ReadFileStart(const std::string& path, void* buf, std::size_t size);

// Reads a line as the original platform's text mode does: at most size - 1
// characters, a CR LF ending read as LF. False at the end of the file.
bool ReadTextLine(std::FILE* f, char* buf, int size);

bool DeleteFile(const std::string& path);

// The SHA-256 digest of a file in lower-case hex, read in pieces (a release
// may be large); empty, with why, when it cannot be read.
std::string Sha256OfFile(const std::string& path, std::string* why);

// Moves path (resolved ignoring case) into the trash of its file system as
// the freedesktop.org Trash specification has it: the home trash
// ($XDG_DATA_HOME/Trash) for a file on the home's file system, else
// $topdir/.Trash/$uid or $topdir/.Trash-$uid of the file's mount point; the
// file goes to files/NAME, what restores it to info/NAME.trashinfo. Renamed,
// never copied. False with errno set when it is not moved: EXDEV when no
// trash of the user can be had on its file system (why says why; the
// caller may delete it instead), else the error of the file itself.
bool MoveToTrash(const std::string& path, std::string* why = nullptr);

// A file written through a temporary file beside it and renamed into place
// by Commit; until then (or when a write failed) the file at path is as it
// was, and the temporary file is removed when the object ends.
// - A symbolic link at path is written through (see WriteTarget) only when
//   it belongs to the user running the program; else nothing is written.
// - A replaced file keeps its mode (and, for root, its owner and group); a
//   new file gets newMode less the umask, or what the regular file modeOf
//   has, as a replaced file would.
// - Where the directory takes no new file but the file itself is writable,
//   the data are kept until Commit and then written over the file in place.
// durable: the data reach the disk before the rename.
class AtomicFile {
  public:
    explicit AtomicFile(const std::string& path, unsigned newMode = 0666, bool durable = true,
                        const std::string& modeOf = "");
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();
    bool Write(const char* data, std::size_t n);
    // Appends the bytes of the file at path from offset on.
    bool CopyFrom(const std::string& path, long offset);
    // True when every write succeeded and the file is in place.
    bool Commit();
    // 0, or the errno value of the first failure.
    int error() const { return error_; }
    // Why the write failed, for a message ("" when it did not).
    std::string reason() const;

  private:
    bool Open(unsigned newMode, const std::string& modeOf);
    std::string target_, tmp_, refused_;
    int fd_ = -1;
    bool durable_;
    bool inPlace_ = false;
    std::string pending_;  // the data of an in-place write
    int error_ = 0;
};

// Writes data to path as one AtomicFile; on failure why (when given) says
// why.
bool WriteFileAtomic(const std::string& path, const std::string& data, unsigned newMode = 0666,
                     std::string* why = nullptr);

// Before path is replaced by data: when it holds other data, they are kept
// in backup (replaced, or new with path's mode, as they are the same data),
// written as one AtomicFile, and kept is set. path is read only where a
// write may follow it (see WriteTarget). False, after why says why, when
// they could not be kept.
bool KeepPreviousVersion(const std::string& path, const std::string& data,
                         const std::string& backup, bool* kept, std::string* why);

// Creates dir and its missing parents with mode.
bool MakeDirPath(const std::string& dir, unsigned mode);

// Searches the tree below root for a file named name (ignoring case); on
// success found holds its full path. Symbolic links to directories are not
// followed; /proc, /sys, /dev and /run are skipped. A match at a smaller
// depth wins over a deeper one; among matches at one depth the first in
// path order wins.
bool SearchTreeForFile(const std::string& root, const std::string& name, std::string* found);

// The file that a write to path goes to: path itself, or the end of the
// chain of symbolic links at path (a relative target taken from its link's
// directory) when every link of the chain belongs to the user running the
// program, as the kernel's protected-symlinks rule has it for shared
// directories. "" when a link belongs to another user (why names the link
// and its owner) or the links loop (errno ELOOP).
std::string WriteTarget(const std::string& path, std::string* why = nullptr);
