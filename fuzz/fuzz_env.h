// What the targets that run the program's own code share: a private
// directory per process, and settings that keep the program inside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzenv {

// A fresh directory under $TMPDIR (else /tmp), made at the first call and
// removed when the process exits normally.
const std::string& PrivateDir();

// Writes size bytes to path, replacing it; aborts when that fails.
void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size);
// Creates dir and its missing parents; aborts when that fails.
void MakeDirs(const std::string& dir);

// Ends the run with the broken property's description when ok is false.
void Expect(bool ok, const char* property);

// Points the program's per-user files (NODESCAN_HOME) into the private
// directory and the game search at an empty directory there, keeps it
// offline, starts the block heap and sets game/ below the private directory
// (with game/maps) as this run's game directory, so no lookup searches the
// machine. Returns the game directory, ending in '/'. Call once, first.
std::string SetUpProgram();

}  // namespace fuzzenv
