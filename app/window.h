// The main window's own commands: the bot list, the bot's home page and the
// context help table.
#pragma once

#include <cstdint>

#include "platform/ui.h"

// Pairs of (control id, help context id) of the main window, ended by zeros.
extern const std::uint32_t aIDs[];

void AddBotNames(Hwnd window);
void GotoBotWebPageFunc();
