// The dialog as a set of controls addressed by the template's ids.
//
// The program's logic reaches the window only through these free functions.
// Each program links exactly one host that defines them: the Qt host for the
// desktop window, the headless host for nodescan-cli and the tests.
//
// Calls made from a worker thread are carried out as if on the window's
// thread: each returns only when the window has taken the change.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// A window handle: the template id of the dialog it shows (100 the main
// window, 300 the advanced configuration dialog), 0 for no window.
using Hwnd = int;
constexpr Hwnd kNoWindow = 0;

// Messages a dialog procedure receives (the values of the original platform).
enum : unsigned {
    WM_DESTROY = 0x0002,
    WM_CLOSE = 0x0010,
    WM_NOTIFY = 0x004E,
    WM_HELP = 0x0053,
    WM_CONTEXTMENU = 0x007B,
    WM_INITDIALOG = 0x0110,
    WM_COMMAND = 0x0111,
    WM_HSCROLL = 0x0114,
};

// Notification codes carried in the high word of a command's wParam.
enum : unsigned {
    CBN_SELCHANGE = 1,
    CBN_SELENDOK = 9,
    EN_KILLFOCUS = 0x0200,
    EN_CHANGE = 0x0300,
};

// List-view notification of a header click.
constexpr int LVN_COLUMNCLICK = -108;

// Scroll codes of WM_HSCROLL.
enum : unsigned {
    SB_LINEUP = 0,
    SB_LINEDOWN = 1,
    SB_PAGEUP = 2,
    SB_PAGEDOWN = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
};

// Message box buttons, icons and answers.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };
// What a box closed without a choice answers: Cancel where it has one, No
// for a Yes/No question (which has no close box of its own), else OK.
constexpr int UnansweredBoxResult(unsigned type) {
    return (type & 0xF) == MB_OKCANCEL ? IDCANCEL : (type & 0xF) == MB_YESNO ? IDNO : IDOK;
}

constexpr std::uintptr_t MakeWParam(unsigned low, unsigned high) {
    return (static_cast<std::uintptr_t>(high & 0xFFFF) << 16) | (low & 0xFFFF);
}
constexpr unsigned LoWord(std::uintptr_t v) {
    return static_cast<unsigned>(v & 0xFFFF);
}
constexpr unsigned HiWord(std::uintptr_t v) {
    return static_cast<unsigned>((v >> 16) & 0xFFFF);
}

// What WM_NOTIFY's lParam points to for a list-view notification.
struct ListNotify {
    Hwnd from;
    int idFrom;
    int code;
    int subItem;  // the column, for a header click
};

// What WM_HELP's lParam points to: the control the help was asked for.
// WM_CONTEXTMENU carries the clicked control's id in wParam; WM_HSCROLL the
// scroll code and thumb position in wParam and the scroll bar's id in lParam.
struct HelpRequest {
    int ctrlId;
};

using DialogProc = std::intptr_t (*)(Hwnd, unsigned, std::uintptr_t, std::intptr_t);

// Runs fn on the window's thread as one step: no other call into the window
// is carried out in between. Returns when fn has returned.
void RunOnWindowThread(const std::function<void()>& fn);

// Texts and numbers of controls.
void SetDlgItemText(Hwnd w, int id, const std::string& text);
std::string GetDlgItemText(Hwnd w, int id);
void SetDlgItemInt(Hwnd w, int id, int value);  // signed decimal
void SetWindowTitle(Hwnd w, const std::string& text);
void SetEditLimit(Hwnd w, int id, int chars);

// Check boxes.
void CheckDlgButton(Hwnd w, int id, bool checked);
bool IsDlgButtonChecked(Hwnd w, int id);

// Combo boxes: items with 32-bit item data; the current selection (-1 none).
int ComboAddString(Hwnd w, int id, const std::string& text);
void ComboSetItemData(Hwnd w, int id, int index, std::int32_t data);
std::int32_t ComboGetItemData(Hwnd w, int id, int index);
void ComboSetCurSel(Hwnd w, int id, int index);
int ComboGetCurSel(Hwnd w, int id);

// Scroll bars.
void ScrollSetRange(Hwnd w, int id, int min, int max);
void ScrollSetPos(Hwnd w, int id, int pos);
int ScrollGetPos(Hwnd w, int id);

// The status list box: append a line, empty it, select a line.
void ListBoxAddString(Hwnd w, int id, const std::string& text);
void ListBoxResetContent(Hwnd w, int id);
void ListBoxSetCurSel(Hwnd w, int id, int index);

// List views in report mode. Each row carries a 32-bit key.
using RGB = std::uint32_t;  // 0x00BBGGRR
constexpr RGB MakeRGB(unsigned r, unsigned g, unsigned b) {
    return r | (g << 8) | (b << 16);
}
void ListInsertColumn(Hwnd w, int id, int column, const std::string& text, int width);
// Changes an existing column (width < 0: its width stays); false when the
// list has no such column.
bool ListSetColumn(Hwnd w, int id, int column, const std::string& text, int width);
void ListSetTextColor(Hwnd w, int id, RGB color);
// Inserts a row at index (clamped to the end); returns its index.
int ListInsertItem(Hwnd w, int id, int index, const std::string& text, std::uint32_t key);
void ListSetItemText(Hwnd w, int id, int row, int column, const std::string& text);
std::string ListGetItemText(Hwnd w, int id, int row, int column);
std::uint32_t ListGetItemKey(Hwnd w, int id, int row);
int ListGetItemCount(Hwnd w, int id);
void ListDeleteAllItems(Hwnd w, int id);
// The first row whose whole first-column text equals text, ignoring case; -1 if none.
int ListFindItem(Hwnd w, int id, const std::string& text);
// The user's selection of rows.
bool ListIsItemSelected(Hwnd w, int id, int row);
int ListGetSelectedCount(Hwnd w, int id);
// Orders the rows by compare(key1, key2, param): negative when the row of
// key1 goes first, 0 when the two are equal (they keep their order).
// Texts, keys and the selection move with their rows.
using ListCompare = int (*)(std::uint32_t key1, std::uint32_t key2, std::intptr_t param);
void ListSortItems(Hwnd w, int id, ListCompare compare, std::intptr_t param);
// The toolkit's sort arrow in a header: on column (ascending or not), or
// on none for column -1. It shows where the column is too narrow for a
// marker in its text.
void ListSetSortMark(Hwnd w, int id, int column, bool ascending);

// Progress bars (may be carried out after the call returns), changed as
// ProgressBar in platform/progress.h has it; ProgressStepIt makes times steps
// as one call.
void ShowControl(Hwnd w, int id, bool shown);
void ProgressSetRange(Hwnd w, int id, int min, int max);
void ProgressSetStep(Hwnd w, int id, int step);
void ProgressSetPos(Hwnd w, int id, int pos);
void ProgressStepIt(Hwnd w, int id, int times = 1);

// The busy mouse pointer over the program's windows, and back.
void SetBusyCursor(bool busy);

// Message boxes. owner kNoWindow: a box of its own. Returns IDOK, IDYES, IDNO...
int MessageBox(Hwnd owner, const std::string& text, const std::string& caption, unsigned type);

// Posts a command (as if button id was pressed) to the window's queue; it
// reaches the dialog procedure from the event loop, never from inside this call.
// The queue has no limit, so a post cannot fail.
void PostCommand(Hwnd w, int id);

// Window geometry in screen pixels.
struct Rect {
    int left, top, right, bottom;
};
Rect GetWindowRect(Hwnd w);
Rect GetControlRect(Hwnd w, int id);
void MoveWindow(Hwnd w, int left, int top, int width, int height);

// Runs the dialog of template templateId modally with proc as its procedure
// and returns the result given to EndDialog.
int DialogBox(int templateId, Hwnd owner, DialogProc proc);
void EndDialog(Hwnd w, int result);
// Asks the running dialog's message loop to end: the dialog ends with result
// code and its window is destroyed (the procedure receives WM_DESTROY).
void PostQuitMessage(int code);
