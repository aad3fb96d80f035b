// The headless host: a model of every control of the dialogs, built from the
// templates, recording what the program does to them. nodescan-cli and the
// tests drive the program through it.
//
// Every call into the model, and every dialog procedure call made through
// Send, holds one lock, so the program's threads see the window as they
// would see one owned by a single thread.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/progress.h"
#include "platform/ui.h"

namespace headless {

struct MessageBoxCall {
    Hwnd owner;
    std::string text;
    std::string caption;
    unsigned type;
};

struct ListRow {
    std::vector<std::string> cells;
    std::uint32_t key;
    RGB color;
    bool selected = false;
};

struct ListColumn {
    std::string text;
    int width;
};

// Creates the dialog of template id with proc as its procedure, without
// sending the initialisation message. Replaces an earlier one of that id.
Hwnd CreateDialog(int templateId, DialogProc proc);
// Forgets every dialog and everything recorded (a new run).
void Reset();

// Calls the dialog's procedure under the host's lock.
std::intptr_t Send(Hwnd w, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);
// A command from a control, as a click or a notification makes it.
std::intptr_t SendCommand(Hwnd w, int id, unsigned code = 0);

// The commands posted and not yet taken, oldest first.
std::vector<int> TakePostedCommands();
// Sends every posted command to its dialog until none is left; returns how
// many. A quit request then ends the dialog and sends WM_DESTROY.
int PumpPostedCommands(Hwnd w);

// Answers message boxes; without one, each answers as if closed without a
// choice (UnansweredBoxResult).
void SetMessageBoxResponder(std::function<int(const MessageBoxCall&)> responder);
std::vector<MessageBoxCall> MessageBoxes();

// A progress bar: its range, step and position, and whether it is shown.
struct ProgressState : ProgressBar {
    // Where the steps since the position or range was last set have led,
    // counted on past the maximum where pos wraps round to the minimum.
    long long reached = 0;
    bool visible = false;
};
// Called with a progress bar's state each time the program changes it.
void SetProgressListener(std::function<void(const ProgressState&)> listener);
bool BusyCursor();

// Snapshots of controls.
std::string Title(Hwnd w);
int EditLimit(Hwnd w, int id);
std::vector<std::string> ComboItems(Hwnd w, int id);
std::pair<int, int> ScrollRange(Hwnd w, int id);
ProgressState Progress(Hwnd w, int id);
std::vector<std::string> ListBoxLines(Hwnd w, int id);
int ListBoxCurSel(Hwnd w, int id);
std::vector<ListColumn> Columns(Hwnd w, int id);
std::vector<ListRow> Rows(Hwnd w, int id);
// The same rows without a copy, valid until the list next changes: only for a
// reader whose list no other thread can change meanwhile (the CLI once its
// scan has ended).
const std::vector<ListRow>& RowsInPlace(Hwnd w, int id);
// Selects or deselects a row as a click with Ctrl would.
void SelectRow(Hwnd w, int id, int row, bool selected);
RGB TextColor(Hwnd w, int id);
bool DialogExists(Hwnd w);
bool DialogEnded(Hwnd w, int* result);

// Help requests: the command, the control asked about and its context id
// from the table (0 when the table has none).
struct HelpCall {
    unsigned command;
    int ctrlId;
    std::uint32_t contextId;
};
std::vector<HelpCall> HelpCalls();
// Targets given to the shell to open.
std::vector<std::string> ShellRequests();
// Whether the dialog's loop was asked to quit.
bool QuitRequested();

// Types text into an edit control as the user would: the edit limit applies
// and the change notification is sent.
void TypeText(Hwnd w, int id, const std::string& text);

}  // namespace headless
