// Between the shared part of platform/files.h (platform/common/files.cpp)
// and each system's files unit.
#pragma once

#include <string>
#include <vector>

// The names in dir, unsorted, without "." and ".."; false (errno set) when
// dir cannot be read.
bool ReadNames(const std::string& dir, std::vector<std::string>* names);

// path with each component that does not exist as written replaced by its
// name on disk (matched ignoring case). From the first component that
// matches nothing on, the rest is kept as written and the answer is false.
// path is not empty.
bool ResolveComponents(const std::string& path, std::string* actual);

// The bytes of the regular file at path (a symbolic link there is not
// followed): 0 with regular set; 0 with regular false when there is no
// regular file; else the errno value of why it could not be opened (regular
// false) or read (regular true).
int ReadRegularFile(const std::string& path, std::string* data, bool* regular);

// bytes as lower-case hexadecimal digits, two a byte (a digest as
// sha256sum prints it).
std::string LowerHex(const unsigned char* bytes, std::size_t n);

// A new name for a temporary file beside target (target.tmp-XXXXXX).
std::string TempNameBeside(const std::string& target);

// Writes up to n bytes of data to the open file fd: how many it wrote, or
// -1 with errno set.
long WriteSome(int fd, const char* data, std::size_t n);
