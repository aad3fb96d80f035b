// A run of the program inside the test process: its own settings directory,
// the shared state back at its start values, the headless main window.
#pragma once

#include <string>
#include <vector>

#include "platform/headless/host.h"
#include "support/testenv.h"

namespace testenv {

class ProgramRun {
  public:
    // A fresh run whose game search looks only in searchRoots (colon separated).
    explicit ProgramRun(const std::string& searchRoots = "");
    ~ProgramRun();
    const std::string& home() const { return home_.path(); }
    std::string configDir() const { return home_ / "config"; }

    // Ends this run and begins the next one with the same settings files.
    void Restart();
    // The main window's start-up, as the dialog's creation runs it.
    Hwnd Start();
    // Presses a button and waits for the scan it starts.
    void PressAndWait(int id);
    // Chooses a bot in the selector as the user does.
    void ChooseBot(int index);
    // Every status line so far.
    std::vector<std::string> Status() const;
    std::vector<std::string> Captions() const;  // captions of the boxes shown, in order
    std::vector<std::string> LeftNames() const;
    std::vector<std::string> RightNames() const;
    std::string Text(int id) const;

  private:
    TempDir home_;
    ScopedEnv homeEnv_;
    ScopedEnv rootsEnv_;
    ScopedEnv dataEnv_;  // its trash, never the user's
};

}  // namespace testenv
