// The two result lists of the main window and the records behind the rows of
// the right list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/state.h"

// One column of the right list.
struct ColumnSpec {
    const char* text;
    int width;
};
// The right list's columns, ended by a row whose text is null.
extern const ColumnSpec Cols[5];

// Adds a right-list row for the waypoint file dir/name, showing name with
// the text from pos on replaced by ext, and fills MY[key] from the file.
void DisplayFound(std::string& name, std::size_t pos, int bot, int key, const std::string& dir,
                  const std::string& ext);
// Adds a left-list row showing name with the text from pos on replaced by ext.
void DisplayNotFound(int key, std::string& name, std::size_t pos, const std::string& ext);
// mode 0 inserts the columns into list; mode 1 resets texts and widths.
void SetColumnNames(int list, int mode);
void CreateNoWaypointColumns(Hwnd dialog);
// Empties both lists and MY, and gives the right list's headers their plain texts.
void ClearLists(Hwnd dialog);
