// The Win32 definitions of platform/ui.h: each call carried out on the
// window's thread by the host (platform/win32/host.h says why this unit does
// not include <windows.h>); from a worker, a call that returns nothing is
// queued and the worker goes on. A call for a dialog that does not exist
// returns its fallback at once, without waiting for the window's thread.
#include "platform/ui.h"
#include "platform/win32/host.h"

namespace h = win32host;

namespace {

// Runs fn on the window's thread for dialog w; fallback when w is gone.
template <class R, class F>
R Call(Hwnd w, R fallback, F&& fn) {
    R result = fallback;
    h::Call(w, [&] { result = fn(); });
    return result;
}

// A call that returns nothing: a worker's is queued (fn holds copies).
template <class F>
void Do(Hwnd w, F fn) {
    h::Queue(w, std::function<void()>(std::move(fn)));
}

}  // namespace

std::intptr_t win32host::SendColumnClick(ProgramProc proc, int w, int id, int column) {
    ListNotify n{w, id, LVN_COLUMNCLICK, column};
    return proc(w, WM_NOTIFY, static_cast<std::uintptr_t>(id), reinterpret_cast<std::intptr_t>(&n));
}

std::intptr_t win32host::SendHelp(ProgramProc proc, int w, int ctrlId) {
    HelpRequest request{ctrlId};
    return proc(w, WM_HELP, 0, reinterpret_cast<std::intptr_t>(&request));
}

void RunOnWindowThread(const std::function<void()>& fn) {
    h::Call(kNoWindow, fn);
}

void SetDlgItemText(Hwnd w, int id, const std::string& text) {
    Do(w, [=] { h::SetText(w, id, text); });
}

std::string GetDlgItemText(Hwnd w, int id) {
    return Call(w, std::string(), [&] { return h::Text(w, id); });
}

void SetDlgItemInt(Hwnd w, int id, int value) {
    SetDlgItemText(w, id, std::to_string(value));
}

void SetWindowTitle(Hwnd w, const std::string& text) {
    Do(w, [=] { h::SetTitle(w, text); });
}

void SetEditLimit(Hwnd w, int id, int chars) {
    Do(w, [=] { h::SetLimit(w, id, chars); });
}

void CheckDlgButton(Hwnd w, int id, bool checked) {
    Do(w, [=] { h::Check(w, id, checked); });
}

bool IsDlgButtonChecked(Hwnd w, int id) {
    return Call(w, false, [&] { return h::Checked(w, id); });
}

int ComboAddString(Hwnd w, int id, const std::string& text) {
    return Call(w, -1, [&] { return h::ComboAdd(w, id, text); });
}

void ComboSetItemData(Hwnd w, int id, int index, std::int32_t data) {
    Do(w, [=] { h::ComboSetData(w, id, index, data); });
}

std::int32_t ComboGetItemData(Hwnd w, int id, int index) {
    return Call(w, std::int32_t{-1}, [&] { return h::ComboData(w, id, index); });
}

void ComboSetCurSel(Hwnd w, int id, int index) {
    Do(w, [=] { h::ComboSelect(w, id, index); });
}

int ComboGetCurSel(Hwnd w, int id) {
    return Call(w, -1, [&] { return h::ComboSelection(w, id); });
}

void ScrollSetRange(Hwnd w, int id, int min, int max) {
    Do(w, [=] { h::ScrollRange(w, id, min, max); });
}

void ScrollSetPos(Hwnd w, int id, int pos) {
    Do(w, [=] { h::ScrollSet(w, id, pos); });
}

int ScrollGetPos(Hwnd w, int id) {
    return Call(w, 0, [&] { return h::ScrollPos(w, id); });
}

void ListBoxAddString(Hwnd w, int id, const std::string& text) {
    Do(w, [=] { h::LinesAdd(w, id, text); });
}

void ListBoxResetContent(Hwnd w, int id) {
    Do(w, [=] { h::LinesClear(w, id); });
}

void ListBoxSetCurSel(Hwnd w, int id, int index) {
    Do(w, [=] { h::LinesSelect(w, id, index); });
}

void ListInsertColumn(Hwnd w, int id, int column, const std::string& text, int width) {
    Do(w, [=] { h::ListAddColumn(w, id, column, text, width); });
}

bool ListSetColumn(Hwnd w, int id, int column, const std::string& text, int width) {
    return Call(w, false, [&] { return h::ListChangeColumn(w, id, column, text, width); });
}

void ListSetTextColor(Hwnd w, int id, RGB color) {
    Do(w, [=] { h::ListColor(w, id, color); });
}

int ListInsertItem(Hwnd w, int id, int index, const std::string& text, std::uint32_t key) {
    return Call(w, -1, [&] { return h::ListInsert(w, id, index, text, key); });
}

void ListSetItemText(Hwnd w, int id, int row, int column, const std::string& text) {
    Do(w, [=] { h::ListSetCell(w, id, row, column, text); });
}

std::string ListGetItemText(Hwnd w, int id, int row, int column) {
    return Call(w, std::string(), [&] { return h::ListCell(w, id, row, column); });
}

std::uint32_t ListGetItemKey(Hwnd w, int id, int row) {
    return Call(w, std::uint32_t{0}, [&] { return h::ListKey(w, id, row); });
}

int ListGetItemCount(Hwnd w, int id) {
    return Call(w, 0, [&] { return h::ListCount(w, id); });
}

void ListDeleteAllItems(Hwnd w, int id) {
    Do(w, [=] { h::ListClear(w, id); });
}

int ListFindItem(Hwnd w, int id, const std::string& text) {
    return Call(w, -1, [&] { return h::ListFind(w, id, text); });
}

bool ListIsItemSelected(Hwnd w, int id, int row) {
    return Call(w, false, [&] { return h::ListSelected(w, id, row); });
}

int ListGetSelectedCount(Hwnd w, int id) {
    return Call(w, 0, [&] { return h::ListSelectedCount(w, id); });
}

void ListSortItems(Hwnd w, int id, ListCompare compare, std::intptr_t param) {
    // Waits: the comparator may read what its caller keeps only until it returns.
    h::Call(w, [&] { h::ListSort(w, id, compare, param); });
}

void ListSetSortMark(Hwnd w, int id, int column, bool ascending) {
    Do(w, [=] { h::ListSortMark(w, id, column, ascending); });
}

void ShowControl(Hwnd w, int id, bool shown) {
    Do(w, [=] { h::Show(w, id, shown); });
}

void ProgressSetRange(Hwnd w, int id, int min, int max) {
    Do(w, [=] { h::ChangeProgress(w, id, [=](ProgressBar& b) { b.SetRange(min, max); }); });
}

void ProgressSetStep(Hwnd w, int id, int step) {
    Do(w, [=] { h::ChangeProgress(w, id, [=](ProgressBar& b) { b.step = step; }); });
}

void ProgressSetPos(Hwnd w, int id, int pos) {
    Do(w, [=] { h::ChangeProgress(w, id, [=](ProgressBar& b) { b.SetPos(pos); }); });
}

void ProgressStepIt(Hwnd w, int id, int times) {
    Do(w, [=] { h::ChangeProgress(w, id, [=](ProgressBar& b) { b.StepIt(times); }); });
}

void SetBusyCursor(bool busy) {
    Do(kNoWindow, [=] { h::Busy(busy); });
}

int MessageBox(Hwnd owner, const std::string& text, const std::string& caption, unsigned type) {
    int unanswered = UnansweredBoxResult(type);
    return Call(owner, unanswered,
                [&] { return h::Message(owner, text, caption, type, unanswered); });
}

void PostCommand(Hwnd w, int id) {
    h::Post(w, id);
}

Rect GetWindowRect(Hwnd w) {
    h::Box b = Call(w, h::Box{}, [&] { return h::WindowBox(w); });
    return {b.left, b.top, b.right, b.bottom};
}

Rect GetControlRect(Hwnd w, int id) {
    h::Box b = Call(w, h::Box{}, [&] { return h::ControlBox(w, id); });
    return {b.left, b.top, b.right, b.bottom};
}

void MoveWindow(Hwnd w, int left, int top, int width, int height) {
    Do(w, [=] { h::Move(w, left, top, width, height); });
}

int DialogBox(int templateId, Hwnd owner, DialogProc proc) {
    // On the window's thread only: a worker's dialog would hold every other call.
    return h::OnWindowThreadNow() ? h::RunDialog(templateId, owner, proc) : -1;
}

void EndDialog(Hwnd w, int result) {
    Do(w, [=] { h::End(w, result); });
}

void PostQuitMessage(int code) {
    h::Quit(code);
}
