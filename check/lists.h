// The two result lists of the main window and the records behind the rows of
// the right list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/state.h"

// One column of the right list.
struct ColumnSpec {
    const char* text;
    int width;
};
// The right list's columns, ended by a row whose text is null.
extern const ColumnSpec Cols[5];

// What a right-list row was made from, kept beside its record: the file
// read for it (the row shows another name, and its record's dir field cuts
// a long path), the map the game loads for it ("" in a redundant check) and
// the date the row shows as YYYY-MM-DD ("" when the file has no time).
struct ResultSource {
    std::string file;
    std::string map;
    std::string date;
};
// Written by the scan before it adds the row; both tables are cleared with
// the lists, as one step on the window's thread.
extern ResultSource MYSource[kMaxResults];

// Adds a right-list row for the file dir/name, showing name with the text
// from pos on replaced by ext, and fills MY[key] from the file. map: the
// listed map file the row stands for, "" when none.
void DisplayFound(std::string& name, std::size_t pos, int bot, int key, const std::string& dir,
                  const std::string& ext, const std::string& map);
// Adds a left-list row showing name with the text from pos on replaced by ext.
void DisplayNotFound(int key, std::string& name, std::size_t pos, const std::string& ext);
// The rows a list command acts on: the selected ones, or every row when
// none is selected.
struct RowChoice {
    int list;
    bool some;  // some row is selected
    bool Takes(int row) const;
};
RowChoice ChosenRows(int list);
// A row's first-column text as the list commands read it: at most 259 bytes.
std::string RowText(int list, int row);
// Whether a row's text names a training map ("tr_", any case), which the
// list commands never delete, export or put into mapcycle.txt.
bool IsTrainingMap(const std::string& text);
enum class ColumnSetup {
    Insert,  // inserts the columns into the list
    Reset,   // gives them their plain texts and widths back, without sort marks
};
void SetColumnNames(int list, ColumnSetup setup);
void CreateNoWaypointColumns(Hwnd dialog);
// Empties both lists, MY and MYSource as one step on the window's thread (so
// that no sort reads a record being cleared), and gives the right list's
// headers their plain texts.
void ClearLists(Hwnd dialog);
