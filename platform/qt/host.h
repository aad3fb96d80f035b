// The Qt host: the dialogs of resources/dialogs.h as Qt widgets, driven by
// the program through platform/ui.h. This is the host's own interface, for
// the desktop program's main(), the GUI tests and the benchmarks. Everything
// here is for the window's (GUI) thread only.
#pragma once

#include <functional>
#include <string>

#include "platform/ui.h"

class QWidget;
class QTextBrowser;

namespace qthost {

// The top-level widget of a dialog that exists, or null.
QWidget* Window(Hwnd w);
// The widget of a control, or null. List views are QTreeViews, the status
// list a QListWidget, edits QLineEdits, the site selector a QScrollBar.
QWidget* Control(Hwnd w, int id);
// Dialog units to pixels for the dialog's font: the base units.
struct BaseUnits {
    int x;  // average character width
    int y;  // character height
};
BaseUnits DialogBaseUnits();

// Called on the window's thread each time a dialog has been shown and its
// message loop runs (after its initialisation and the first posted
// commands' turn). Tests and benchmarks drive the window from here.
void SetDialogRunningHook(std::function<void(Hwnd)> hook);

// Takes the targets given to the shell instead of the desktop (tests):
// the hook's answer is ShellOpen's result. Null restores the desktop.
void SetShellHook(std::function<bool(const std::string&)> hook);

// The help window, once help has been shown: its QTextBrowser shows the
// page at source(). Null before.
QTextBrowser* HelpBrowser();

// True while the dialog's message loop runs.
bool DialogRunning(Hwnd w);
// Calls of worker threads queued and not yet carried out.
int PendingCalls();

// Dialog units of the template to a pixel rectangle within the dialog.
struct PixelRect {
    int x, y, width, height;
};
PixelRect TemplateRect(int templateId, int controlId);

}  // namespace qthost
