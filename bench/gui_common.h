// Shared by the window benchmarks: the program's start as main() does it,
// and settings that point at a game installation.
#pragma once

#include <string>

class QApplication;

namespace guibench {

// Settings as a program that found the game in cstrike (ending in '/') and
// was closed once leave them: the directories and the version.
void StoreSettings(const std::string& cstrike);

// Answers every message box that shows (OK, No or Cancel; Yes first when
// yes) and says so on stderr: a benchmark's run should show none it does
// not expect.
void AnswerMessageBoxes(bool yes = false);

// Runs the program's window until it closes; the process ends with code 2,
// named by program on stderr, when the program ends itself instead.
void RunWindow(const char* program);

// The seconds since the process started (its start time from /proc).
double SecondsSinceProcessStart();

}  // namespace guibench
