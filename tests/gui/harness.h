// Running the desktop program inside a GUI test: its own settings directory,
// a game installation in a temporary directory, message boxes answered as
// they appear, and the test's steps run once the main window is shown.
#pragma once

#include <QMessageBox>
#include <functional>
#include <string>
#include <vector>

#include "check/scanrunner.h"
#include "platform/qt/host.h"
#include "platform/qt/listmodel.h"
#include "support/testenv.h"

namespace gui {

struct Box {  // a message box as it was shown
    std::string caption, text;
    bool windowShown;  // whether the main window was visible then
};

// Runs start, by default the program's entry point. body runs on the
// window's thread once the main window is shown and its loop runs; then the
// window is closed (its close box) unless body ended it. Returns start's
// result or the code of a ThreadExit.
int RunWindow(const std::function<void()>& body, std::function<int()> start = nullptr);

// The state of a new process with its own settings directory, whose game
// search looks only in searchRoots (default: nowhere) and which is offline.
struct Program {
    explicit Program(const std::string& searchRoots = "");
    ~Program();
    void Restart() { testenv::ResetProgramState(); }  // a new process, the same settings
    // Which button answers a box, asked every few milliseconds until it
    // names one (NoButton keeps the box open and its worker waiting).
    // Without an answer, or for a button the box lacks: OK, No or Cancel.
    std::function<QMessageBox::StandardButton(const Box&)> answer;
    std::vector<Box> boxes;  // every box shown, in order
    // Acts in the advanced configuration dialog when it opens; without it
    // the dialog is closed with Cancel.
    std::function<void()> config;
    testenv::TempDir home;
    testenv::ScopedEnv homeEnv, rootsEnv, onlineEnv, dataEnv;  // its own trash
};

// Processes events until pred holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 30000);
// The scan thread has ended and everything it asked of the window is done.
bool ScanDone();

// A control of a dialog (id 0: the dialog's window), as a T.
QWidget* W(int id, Hwnd w = 100);
template <class T>
T* As(int id, Hwnd w = 100) {
    return qobject_cast<T*>(W(id, w));
}
std::string Text(int id);
ReportModel* List(int id);
std::vector<std::string> Names(int list);  // first column
std::vector<std::string> StatusLines();
void Click(int id, Hwnd w = 100);  // in the middle of the control

// Answers the boxes (those of the current Program, else any) as they
// appear, every few milliseconds, in every event loop.
void StartAnswering();

}  // namespace gui
