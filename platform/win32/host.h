// The Win32 window host's own interface. <windows.h> and platform/ui.h do not
// go into one unit: Win32's macros and declarations take the names of ui.h's
// functions and constants (SetDlgItemText, MessageBox, DialogBox, EndDialog,
// GetWindowRect, MoveWindow, PostQuitMessage, WM_*, MB_*, IDOK...). So
// ui_win32.cpp defines ui.h without <windows.h>, through these functions,
// and dialog.cpp does the Win32 side without ui.h. Neither header is needed
// here: a window is its template id (Hwnd), and the numbers of messages,
// codes, box types and answers are the same on both sides.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/progress.h"

namespace win32host {

using ProgramProc = std::intptr_t (*)(int w, unsigned msg, std::uintptr_t wParam,
                                      std::intptr_t lParam);
using KeyCompare = int (*)(std::uint32_t key1, std::uint32_t key2, std::intptr_t param);
struct Box {
    int left, top, right, bottom;
};

// Makes the calling thread the window's thread (the program's entry point
// calls it first). Calls from other threads are carried out on it.
void Start();
// Runs fn on the window's thread for dialog w (0: for whichever lives) and
// returns when it has: at once on that thread (or before Start), else from
// whatever message loop the window's thread runs, after the calls that
// workers queued before. What fn throws is thrown on to the caller. False
// (fn not run) from a worker when the dialog does not live.
bool Call(int w, const std::function<void()>& fn);
// The same for a call that returns nothing: from a worker it is queued and
// the caller goes on.
void Queue(int w, std::function<void()> fn);
bool OnWindowThreadNow();
// Whether the dialog w exists (any thread); kNoWindow (0): whether any does.
bool Live(int w);
// The dialog's window as a HWND (for the help viewer and the shell), or null.
void* WindowHandle(int w);

// Defined by ui_win32.cpp: the dialog procedure's messages that carry a
// structure of platform/ui.h.
std::intptr_t SendColumnClick(ProgramProc proc, int w, int id, int column);
std::intptr_t SendHelp(ProgramProc proc, int w, int ctrlId);

// Everything below: on the window's thread only. A dialog or control that
// does not exist makes a call do nothing and return its fallback.
int RunDialog(int templateId, int owner, ProgramProc proc);
void End(int w, int result);
void Quit(int code);
void Post(int w, int id);  // any thread

void SetText(int w, int id, const std::string& text);
std::string Text(int w, int id);
void SetTitle(int w, const std::string& text);
void SetLimit(int w, int id, int chars);
void Check(int w, int id, bool checked);
bool Checked(int w, int id);

int ComboAdd(int w, int id, const std::string& text);
void ComboSetData(int w, int id, int index, std::int32_t data);
std::int32_t ComboData(int w, int id, int index);
void ComboSelect(int w, int id, int index);
int ComboSelection(int w, int id);

void ScrollRange(int w, int id, int min, int max);
void ScrollSet(int w, int id, int pos);
int ScrollPos(int w, int id);

void LinesAdd(int w, int id, const std::string& text);
void LinesClear(int w, int id);
void LinesSelect(int w, int id, int index);

void ListAddColumn(int w, int id, int column, const std::string& text, int width);
bool ListChangeColumn(int w, int id, int column, const std::string& text, int width);
void ListColor(int w, int id, std::uint32_t color);
int ListInsert(int w, int id, int index, const std::string& text, std::uint32_t key);
void ListSetCell(int w, int id, int row, int column, const std::string& text);
std::string ListCell(int w, int id, int row, int column);
std::uint32_t ListKey(int w, int id, int row);
int ListCount(int w, int id);
void ListClear(int w, int id);
int ListFind(int w, int id, const std::string& text);
bool ListSelected(int w, int id, int row);
int ListSelectedCount(int w, int id);
void ListSort(int w, int id, KeyCompare compare, std::intptr_t param);
void ListSortMark(int w, int id, int column, bool ascending);

void Show(int w, int id, bool shown);
// Changes a progress bar's state and shows the result.
void ChangeProgress(int w, int id, const std::function<void(ProgressBar&)>& change);

void Busy(bool busy);
int Message(int owner, const std::string& text, const std::string& caption, unsigned type,
            int unanswered);
Box WindowBox(int w);
Box ControlBox(int w, int id);
void Move(int w, int left, int top, int width, int height);

}  // namespace win32host
