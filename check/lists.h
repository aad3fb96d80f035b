// The two result lists of the main window and the records behind the rows of
// the right list.
#pragma once

#include <atomic>
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

// One row of the right result list.
struct ResultRecord {
    char name[32];
    std::uint32_t dosDate;
    std::uint32_t version;
    char author[32];
    std::uint32_t flag;
    std::uint32_t index;
    char dir[260];
};
static_assert(sizeof(ResultRecord) == 340);
// Which check the lists show: 0 the missing-waypoint check, 1 the
// redundant-waypoint check. Set by StartThread before the scan thread starts.
extern std::atomic<int> checkredway;
// The sort slot of the most recent sort (see check/sort.h); a header click
// sets it, and a plain header shows no marker.
extern std::atomic<int> col;
// One record per right-list row, found by the row's key.
extern ResultRecord MY[kMaxResults];

// What a right-list row was made from, kept beside its record: the file
// read for it (the row shows another name, and its record's dir field cuts
// a long path), the map the game loads for it ("" in a redundant check) and
// the date the row shows as YYYY-MM-DD ("" when the file has no time).
struct ResultSource {
    std::string file;
    std::string map;
    std::string date;
};
// What the row of that key was made from: written by the scan before it adds
// the row, cleared with the lists as one step on the window's thread. A key
// never written (or out of range) gives an entry of empty texts.
const ResultSource& MYSource(std::uint32_t key);
// Empties MY and the sources and forgets the mode and the sorted column
// (tests: a new run).
void ResetLists();

// Adds a right-list row for the file dir/name, showing name with the text
// from pos on replaced by ext, and fills MY[key] from the file. map: the
// listed map file the row stands for, "" when none.
void DisplayFound(std::string& name, std::size_t pos, int bot, int key, const std::string& dir,
                  const std::string& ext, const std::string& map);
enum class ExtFor {
    Counterpart,  // the other file of the scan's pair: the map's in the redundant-waypoint check
    Waypoint,     // the bot's waypoint file in either check
};
// Replaces everything after the first dot of name: by "bsp" for a
// Counterpart in the redundant-waypoint check, else by bot's extension (and
// shows the selected bot's in control kExtUsedField). Returns the position just after
// the first dot.
std::size_t SetBotExt(std::string& name, int bot, ExtFor target);
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
// Empties both lists, MY and the sources as one step on the window's thread (so
// that no sort reads a record being cleared), and gives the right list's
// headers their plain texts.
void ClearLists(Hwnd dialog);
