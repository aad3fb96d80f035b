// Running the desktop program inside a GUI test: its own settings directory,
// a game installation in a temporary directory, message boxes answered as
// they appear, and the test's steps run once the main window is shown.
#pragma once

#include <QMessageBox>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/qt/host.h"
#include "platform/qt/listmodel.h"
#include "support/newrun.h"
#include "support/testenv.h"

// QStrings in the messages of failed expectations.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace gui {

struct Box {  // a message box as it was shown
    std::string caption, text;
    bool windowShown;  // whether the main window was visible then
};

// Runs the program. body runs on the window's thread once the main window
// is shown and its loop runs; then the window is closed (its close box)
// unless body ended it. A configuration dialog that opens by itself is
// closed. Returns the entry point's result or the code of a ThreadExit.
int RunWindow(const std::function<void()>& body);

class Program {
  public:
    // A run whose game search looks only in searchRoots (default: nowhere).
    explicit Program(const std::string& searchRoots = "");
    ~Program();
    // RunWindow with this program's settings; Restart: the state of a new
    // process, with the same settings files.
    int Run(const std::function<void()>& body) const { return RunWindow(body); }
    void Restart() { testenv::ResetProgramState(); }
    // Settings as a program that ran before leaves them: the game and map
    // directories, the version and any further per-user values.
    void StoreSettings(const std::string& cstrike,
                       const std::vector<std::pair<std::string, std::uint32_t>>& dwords = {});

    // Which button answers a box, asked every few milliseconds until it
    // names one (NoButton keeps the box open and its worker waiting).
    // Without an answer, or for a button the box lacks: OK, No or Cancel.
    std::function<QMessageBox::StandardButton(const Box&)> answer;
    std::vector<Box> boxes;  // every box shown, in order

  private:
    testenv::TempDir home_;
    testenv::ScopedEnv homeEnv_, rootsEnv_, onlineEnv_;
};

// Processes events until pred holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 30000);
bool ScanRunning();
// The scan thread has ended and everything it asked of the window is done.
bool ScanDone();

// A control of a dialog (id 0: the dialog's window), its text.
QWidget* W(int id, Hwnd w = 100);
template <class T>
T* As(int id, Hwnd w = 100) {
    return qobject_cast<T*>(W(id, w));
}
std::string Text(int id);
ReportModel* List(int id);
std::vector<std::string> Names(int list);  // first column
std::vector<std::string> StatusLines();
// A mouse click in the middle of a control.
void Click(int id, Hwnd w = 100);

// Answers the boxes (those of the current Program, else any) and menus as
// they appear, every few milliseconds, in every event loop.
void StartAnswering();
// The next context menu triggers its action with that text (an empty text
// closes the menu).
void AnswerNextMenu(const QString& action);

}  // namespace gui
