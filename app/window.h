// The main window's own commands: the layout toggle, the bot list, the bot's
// home page, the connection test and the context help table.
#pragma once

#include <cstdint>

#include "platform/ui.h"

// Pairs of (control id, help context id) of the main window, ended by zeros.
extern const std::uint32_t aIDs[];

// query nonzero: returns the layout state (1 simple, 2 advanced); 0: toggles it.
int AdvButtonPressed(int query);
// 0 measures the two layouts, 1 applies the simple one, 2 the advanced one.
void SetSize(int mode);
void AddBotNames(Hwnd window);
void GotoBotWebPageFunc();
// 1 when connected; else tells the user and returns 0.
int IsConnected();
// Starts the next run in this process with the window's layout state at its start value.
void ResetWindowState();
