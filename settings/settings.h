// The settings store: the per-user options, the selected bot and site and
// the site rows, loaded at start-up and saved when the main window closes.
#pragma once

// Loads the per-user settings into the main window (start-up only).
void LoadSettings();
// Saves the options and the site rows; false (after telling the user) when
// the settings could not be written.
bool SaveOptions();
// Writes the six site rows as SaveOptions does; false when that failed.
bool SaveSites();
