#include "check/redundant.h"

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include "check/lists.h"
#include "check/scan.h"
#include "check/scanrunner.h"
#include "core/state.h"
#include "core/status.h"
#include "platform/files.h"

namespace {
constexpr const char* kDeleted = "Deleted....";

// Moves file to the trash, or deletes it when asked or where its file
// system has no trash (said once a command, in told); a status line names
// it. False with errno set when it is still there.
bool Remove(const std::string& file, bool toTrash, bool& told) {
    std::string why;
    if (toTrash) {
        if (MoveToTrash(file, &why)) {
            sout("Moved to the trash: " + file);
            return true;
        }
        if (errno != EXDEV) return false;
        if (!std::exchange(told, true)) sout(why + ": deleted instead");
    }
    if (!DeleteFile(file)) return false;
    sout("Deleted: " + file);
    return true;
}
}  // namespace

bool DeleteRedundantWaypoints(bool toTrash) {
    if (ScanRunning()) {
        sout("Please wait... Thread Executing");
        return false;
    }
    if (checkredway == 0) {
        // "havn't": kept as the original program spells it.
        MessageBox(md, "You havn't searched for any redundant maps yet!", "Whoops!", MB_OK);
        return false;
    }
    RowChoice choice = ChosenRows(kRightList);
    const char* question =
        choice.some ? "Are you sure you wish to delete the selected redundant maps?"
                    : "Are you sure you wish to delete **ALL** displayed redundant maps?";
    if (MessageBox(md, question, "Warning", MB_YESNO) != IDYES) return false;

    bool all = true, told = false;
    int rows = ListGetItemCount(md, kRightList);
    for (int row = 0; row < rows; ++row) {
        if (!choice.Takes(row)) continue;
        std::string text = RowText(kRightList, row);
        if (text.empty() || IsTrainingMap(text) || text == kDeleted) continue;
        // The file the scan listed: the row may show it under another name.
        std::uint32_t key = ListGetItemKey(md, kRightList, row);
        std::string file = MYSource(key).file;
        errno = 0;
        if (!file.empty() && Remove(file, toTrash, told)) {
            ListSetItemText(md, kRightList, row, 0, kDeleted);
            continue;
        }
        all = false;
        int err = errno ? errno : ENOENT;
        sout("Cannot delete " + (file.empty() ? text : file) + ": " +
             std::generic_category().message(err));
    }
    return all;
}
