#include "support/run.h"

#include "app/nodescan.h"
#include "check/scanrunner.h"
#include "core/state.h"
#include "core/status.h"
#include "platform/memory.h"

namespace testenv {
namespace {
std::vector<std::string> statusLog;  // every status line of the run (window thread)
void ResetState() {
    ResetProgramState();
    headless::Reset();
    SetStatusListener([](const std::string& line) { statusLog.push_back(line); });
    RunOnWindowThread([] { statusLog.clear(); });
}
}  // namespace

ProgramRun::ProgramRun(const std::string& searchRoots)
    : homeEnv_("NODESCAN_HOME", home_.path()),
      rootsEnv_("NODESCAN_SEARCH_ROOTS", searchRoots.empty() ? home_ / "no-game" : searchRoots),
      dataEnv_("XDG_DATA_HOME", home_ / "share") {
    static const bool heap = (InitBlockHeap(), true);
    (void)heap;
    ResetState();
    ForgetSettings();
}

ProgramRun::~ProgramRun() {
    ResetState();
}

std::vector<std::string> ProgramRun::Status() const {
    std::vector<std::string> lines;
    RunOnWindowThread([&lines] { lines = statusLog; });
    return lines;
}

void ProgramRun::Restart() {
    ResetState();
}

Hwnd ProgramRun::Start() {
    Hwnd w = headless::CreateDialog(100, DialogFunc);
    headless::Send(w, WM_INITDIALOG, 0, 0);
    return w;
}

void ProgramRun::PressAndWait(int id) {
    headless::SendCommand(md, id);
    WaitForThread(hThread);
}

void ProgramRun::ChooseBot(int index) {
    ComboSetCurSel(md, 102, index);
    headless::SendCommand(md, 102, CBN_SELENDOK);
}

std::vector<std::string> ProgramRun::Captions() const {
    std::vector<std::string> out;
    for (const auto& b : headless::MessageBoxes()) out.push_back(b.caption);
    return out;
}

static std::vector<std::string> Names(int list) {
    std::vector<std::string> out;
    for (const auto& r : headless::Rows(md, list)) out.push_back(r.cells.at(0));
    return out;
}

std::vector<std::string> ProgramRun::LeftNames() const {
    return Names(101);
}
std::vector<std::string> ProgramRun::RightNames() const {
    return Names(123);
}
std::string ProgramRun::Text(int id) const {
    return GetDlgItemText(md, id);
}

}  // namespace testenv
