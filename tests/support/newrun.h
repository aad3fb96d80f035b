// Puts the program's shared state back to its values at process start, so
// that one test process can run the program several times.
#pragma once

namespace testenv {

// Waits for a running scan, then resets the globals, the bot and site
// tables, the registry cache and the directory cache. The window host's own
// records are the caller's to reset.
void ResetProgramState();

}  // namespace testenv
