// The running transfer's files (see SetRunningTransfer), removed when the
// process ends in between, through ExitProcess or on a signal or console
// event of EndOnSignals.
#pragma once

// Removes the running transfer's files, if any. Async-signal-safe.
void RemoveRunningTransfer();

// Removes the file at path at once: async-signal-safe (each system's threads
// unit defines it beside its EndOnSignals).
void RemoveFileNow(const char* path);
