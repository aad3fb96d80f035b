// The status output every part of the program uses: status lines (sout),
// debug traces (dout), and what a status line or message box tells.
#pragma once

#include <functional>
#include <string>

#include "platform/ui.h"

// Appends a line to the status list; callable from any thread.
void sout(const std::string& text);

// Accepts a debug trace and discards it.
void dout(const std::string& text);

// Called with each status line as it is added, on the window's thread (a
// front end that shows the lines elsewhere: nodescan-cli); empty for none.
void SetStatusListener(std::function<void(const std::string&)> listener);
// Forgets the listener and the count of status lines (tests: a new run).
void ResetStatus();

// What a status line or message box tells, for a front end that shows some
// of them otherwise (nodescan-cli's notes and --quiet). The window shows
// every kind alike.
enum class Tells {
    Problem,   // an error, a refusal, a warning or a question: sout and MessageBox
    Progress,  // only how the work goes: a step begun or done, a place found
    Default,   // only that a default is used for want of a setting
};
// A status line that tells Progress.
void sprogress(const std::string& text);
// A message box that tells Progress.
int ProgressBox(Hwnd owner, const std::string& text, const std::string& caption, unsigned type);
// An OK message box that tells Default: for bot's waypoint directory, or with
// bot -1 for a setting of every bot.
void DefaultBox(int bot, const std::string& text, const std::string& caption);
// What the status line or message box being shown by this thread tells, and
// of which bot (-1 every bot). The headless host shows them on the thread
// that asks.
Tells Telling(int* bot = nullptr);
