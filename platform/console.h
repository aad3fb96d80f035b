// The console (terminal) a command line program runs in.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum class Stream { In, Out, Err };

// Prepares the standard streams: on Windows they carry UTF-8 and the same
// bytes as on Linux (no carriage returns added) and the console reads the
// escape sequences a progress line uses; nothing to do on Linux. Then the
// program's arguments as UTF-8, argv[0] first.
std::vector<std::string> PrepareConsole(int argc, char** argv);

// Whether the stream is a terminal (not a file or a pipe).
bool IsTerminal(Stream s);
// The width of the terminal standard output shows in, in columns; 0 when
// it is not a terminal.
std::size_t TerminalColumns();

// Writes text to standard error at once, without a buffer or a lock: it may
// run in an end-of-program handler (a signal's, a console event's).
void WriteErrorNow(const char* text);
