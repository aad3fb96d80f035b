// Deleting the waypoint files that a redundant-waypoint check has listed.
#pragma once

// Deletes the listed files of the right list's selected rows (every row when
// none is selected), after asking; "tr_" rows are never deleted. toTrash:
// moved to the desktop's trash where their file system has one (else
// deleted, and said so). Each file is named in a status line. Refused while
// a scan runs and before any redundant-waypoint check. False when refused,
// not confirmed, or a file is still there (its row keeps its name and a
// status line says why).
bool DeleteRedundantWaypoints(bool toTrash);
