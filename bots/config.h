// The advanced configuration dialog (template kConfigDialog): the game directory, the
// map directory and each bot's waypoint directory and extension, as the
// user corrects them.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/ui.h"

// The bot row whose directory and extension the dialog shows.
extern std::atomic<int> cbot;
// Control id and help context id pairs, ended by 0, 0.
extern const std::uint32_t aConfigHelpIDs[];

// Runs the dialog modally, owned by owner.
int DoConfigBox(Hwnd owner);
std::intptr_t ConfigDialogFunc(Hwnd w, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

// What OK stores: the two directories (normalised, see NormalPath) in the
// machine-wide settings and every bot row in the per-user ones; the
// directories are looked up again at their next use. False when a settings
// file could not be written.
bool SaveConfig(const std::string& gameDir, const std::string& mapDir);
