#include "check/export.h"

#include <algorithm>
#include <cstdio>

#include "check/lists.h"
#include "check/scan.h"
#include "core/state.h"
#include "core/status.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "resources/ids.h"
#include "settings/locator.h"

namespace {
// The map the game loads for a right-list row: the listed map file without
// its last extension (the shown name may have lost a part of it).
std::string MapcycleName(int row, const std::string& shown) {
    std::uint32_t key = ListGetItemKey(md, kRightList, row);
    if (const std::string& map = MYSource(key).map; !map.empty()) return map;
    return shown.substr(0, shown.rfind('.'));
}

std::string ListText(int list, int button) {
    std::string out;
    RowChoice choice = ChosenRows(list);
    int rows = ListGetItemCount(md, list);
    // Room for a usual row (a map name, or four cells of 20) from the start.
    out.reserve(static_cast<std::size_t>(std::max(rows, 0)) *
                (button == kMapcycleButton ? 24 : 4 * 20 + 2));
    for (int row = 0; row < rows; ++row) {
        if (!choice.Takes(row)) continue;
        std::string text = RowText(list, row);
        if (IsTrainingMap(text)) continue;
        if (button == kMapcycleButton && !text.empty()) {
            // A line break in a name would add lines of its own choosing.
            std::string map = MapcycleName(row, text);
            if (HasControlChar(map)) {
                sout("The map " + EscapedText(map) +
                     " has a control character in its name: left out of mapcycle.txt");
                continue;
            }
            out += map;
        } else if (button != kMapcycleButton) {
            for (int c = 0; Cols[c].text; ++c) {
                std::string cell = c == 0 ? text : ListGetItemText(md, list, row, c);
                if (cell.empty()) continue;
                cell.resize(std::max<std::size_t>(cell.size(), 20), ' ');  // "%-20s"
                out += cell;
            }
        }
        if (!text.empty()) out += "\r\n";
    }
    return out;
}
}  // namespace

std::string ListFilePath(int button) {
    if (button == kLeftCopyButton) return JoinPath(DataDir(), "NoWaypoints.txt");
    if (button == kRightCopyButton) return JoinPath(DataDir(), "GoodWayPoints.txt");
    if (button != kMapcycleButton) return "";
    // The game's own file, under the name on disk when it differs in case.
    std::string path = JoinPath(GetCdir(), "mapcycle.txt"), actual;
    return ResolvePath(path, &actual) ? actual : path;
}

bool WriteListFile(int list, int button, const std::string& path) {
    std::string text = ListText(list, button), why, backup = path + ".bak";
    // A mapcycle.txt made by hand is not lost to a click or a cron job.
    bool kept = false;
    if ((button != kMapcycleButton || KeepPreviousVersion(path, text, backup, &kept, &why)) &&
        WriteFileAtomic(path, text, 0666, &why)) {
        if (kept) sout("The previous " + path + " is kept as " + backup);
        return true;
    }
    sout("Cannot write " + path + ": " + why);
    MessageBox(md, "Error Opening File!", "Whoops!", MB_OK);
    return false;
}

bool WriteList(int list, int button) {
    if (button == kMapcycleButton) {
        if (checkredway == 1) {
            MessageBox(md, "What do you think you're doing? Trying to ruin your Counter-Strike?!",
                       "Whoops!", MB_OK);
            return false;
        }
    } else if (button == kLeftCopyButton || button == kRightCopyButton) {
        MakeDirPath(DataDir(), 0700);  // a failure is told by the write
    }
    std::string path = ListFilePath(button);
    if (path.empty()) return false;
    if (!WriteListFile(list, button, path)) return false;
    if (button == kMapcycleButton) {
        sprogress("Mapcycle.txt written");
    } else {
        // Without an opener the click would seem to do nothing.
        sout("Written: " + path);
        if (!ShellOpen(md, path))
            sout("Cannot open " + path + ": xdg-open is missing or failed; open it yourself");
    }
    return true;
}
