// The Win32 host's queue of workers' window calls (dispatch.cpp), as the
// dialogs (dialog.cpp) use it. Window's thread only, but for SetLive.
#pragma once

namespace win32host {

// A dialog's window from its creation (hwnd) to its end (null): calls are
// queued only for a dialog that lives. Any thread.
void SetLive(int w, void* hwnd);
// Carries out everything queued so far (before a call of the window's thread
// itself, and when a dialog has ended); nothing while a queued call runs.
void Flush();
// Whether a worker's queued call is being carried out now.
bool InQueuedCall();
// Has the window's thread carry out Quit(code) (from a worker).
void PostQuit(int code);
// Defined by dialog.cpp: called at the end of each turn of queued calls.
void EndOfTurn();

}  // namespace win32host
