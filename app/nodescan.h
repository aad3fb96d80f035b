// The entry point, the main window's start-up and its dispatcher.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui.h"

// The program's contact address, shown in the window title.
inline constexpr const char* kContactAddress = "brimlock@nodescan.example";

// cmdLine is the command line without the program's own name.
int WinMain(void* instance, void* prevInstance, const char* cmdLine, int showCmd);
std::intptr_t InitializeApp(Hwnd window, std::uintptr_t wParam, std::intptr_t lParam);
std::intptr_t DialogFunc(Hwnd window, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);
int IsFirstRun();
void SetNodescanWindowText();
// The window title for the program version.
std::string NodescanWindowText();
// What --version prints: "nodescan 2.50".
std::string VersionText();
