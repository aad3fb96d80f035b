// Running the desktop program inside a GUI test: its own settings directory,
// a game installation in a temporary directory, message boxes answered as
// they appear, and the test's steps run once the main window is shown.
#pragma once

#include <QMessageBox>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui.h"
#include "support/testenv.h"

class QWidget;
class QScrollBar;
class ReportModel;

namespace gui {

// A game installation: root/Half-Life/cstrike with cstrike.wad and maps/.
using Game = testenv::GameTree;

// A message box as it was shown.
struct Box {
    std::string caption;
    std::string text;
    bool windowShown;  // whether the main window was visible at that time
};

class Program {
  public:
    // A run whose game search looks only in searchRoots (default: nowhere).
    explicit Program(const std::string& searchRoots = "");
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    const std::string& home() const { return home_.path(); }
    std::string hiveFile() const;  // the per-user settings file

    // Runs the program with cmdLine. body runs on the window's thread once
    // the main window is shown and its loop runs; after it the window is
    // closed (its close box) unless the body ended it. Returns the result of
    // the program's entry point, or the code of a ThreadExit.
    int Run(const std::function<void()>& body, const std::string& cmdLine = "");
    // The state of a new process, with the same settings files.
    void Restart();

    // Which button answers a box; by default OK, No or Cancel.
    void SetAnswer(std::function<QMessageBox::StandardButton(const Box&)> answer);
    const std::vector<Box>& Boxes() const { return boxes_; }
    std::vector<std::string> Captions() const;

    // Settings as a program that ran before leaves them: the game and map
    // directories, the version and any further per-user values.
    void StoreSettings(const std::string& cstrike,
                       const std::vector<std::pair<std::string, std::uint32_t>>& dwords = {});

    void AnswerBoxes();

  private:
    testenv::TempDir home_;
    testenv::ScopedEnv homeEnv_;
    testenv::ScopedEnv rootsEnv_;
    testenv::ScopedEnv onlineEnv_;
    std::function<QMessageBox::StandardButton(const Box&)> answer_;
    std::vector<Box> boxes_;
};

// Processes events until pred holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 30000);
// Processes events for ms milliseconds.
void Pump(int ms);
// The scan thread has ended and everything it asked of the window is done.
bool ScanDone();
// A scan is running.
bool ScanRunning();

// The main window and its controls.
QWidget* MainWindow();
QWidget* W(int id);
std::string Text(int id);
ReportModel* List(int id);
std::vector<std::string> Names(int list);  // first column
std::vector<std::string> Row(int list, int row);
std::vector<std::string> StatusLines();
// A mouse click in the middle of a control.
void Click(int id);
// Clicks a part of a scroll bar: SC_ScrollBarAddLine, ...SubLine, ...AddPage...
void ClickScrollPart(QScrollBar* bar, int subControl);

// Answers the message boxes that show: with answer (default OK, No or
// Cancel), recording each in boxes.
void AnswerMessageBoxes(std::vector<Box>* boxes,
                        const std::function<QMessageBox::StandardButton(const Box&)>& answer);
// Starts answering boxes (those of the current Program, else any) and menus
// as they appear, every few milliseconds, in every event loop.
void StartAnswering();

// Chooses the answer of the next context menu: the action with that text is
// triggered once the menu shows (an empty text closes the menu).
void AnswerNextMenu(const QString& action);

}  // namespace gui
