// Deleting the waypoint files that a redundant-waypoint check has listed.
#pragma once

// Deletes the listed files of the right list's selected rows (every row when
// none is selected), after asking; "tr_" rows are never deleted. Refused
// while a scan runs and before any redundant-waypoint check. False when
// refused, not confirmed, or a file could not be deleted (its row keeps its
// name and a status line says why).
bool DeleteRedundantWaypoints();
