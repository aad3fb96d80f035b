// The Win32 side of the window host: dialogs 100 and 300 built in memory as
// DLGTEMPLATEs from resources/dialogs.h and run by the system's dialog
// manager with the common controls. One dialog procedure turns the system's
// messages into the program's (controls by id, no handles) and calls the
// program's procedure; the functions of host.h drive the controls with their
// own messages. The program's texts are UTF-8, the controls' UTF-16.
#include <algorithm>
#include <exception>
#include <map>
#include <vector>

#include "platform/win32/dispatch.h"
#include "platform/win32/host.h"
#include "platform/win32/text.h"
#include "resources/dialogs.h"

// No header here has ui.h's names: the quit request is the system's.
#define NODESCAN_SYSTEM_POSTQUITMESSAGE
#include "platform/win32/win32.h"

// After <windows.h>.
#include <commctrl.h>
#include <windowsx.h>

namespace win32host {
namespace {

// A list view's rows as the program gave them: the control shows them, and
// its texts read back are these bytes (which UTF-16 may not carry as they
// were).
struct Row {
    std::vector<std::string> cells;
    std::uint32_t key;
};

struct Control {
    const ControlTemplate* tmpl = nullptr;
    HWND hwnd = nullptr;
    std::string text;       // as the program set it
    std::wstring shown;     // what the control showed for text
    std::vector<Row> rows;  // list views
    ProgressBar progress;   // progress bars
    int extent = 0;         // list boxes: the widest line in pixels
};

struct Dialog {
    const DialogTemplate* tmpl = nullptr;
    ProgramProc proc = nullptr;
    HWND hwnd = nullptr;
    std::map<int, Control> controls;
    bool ended = false;       // EndDialog was called
    bool endedFirst = false;  // ... before a quit was asked for
};

// Window's thread only.
std::map<int, Dialog*> dialogs;
std::exception_ptr pending;  // thrown by a procedure: every dialog ends, DialogBox throws it on
int depth = 0;               // dialogs running
bool busy = false;
bool quitPosted = false;
int quitCode = 0;

Dialog* Find(int w) {
    auto it = dialogs.find(w);
    return it == dialogs.end() ? nullptr : it->second;
}

Control* Ctl(int w, int id) {
    Dialog* d = Find(w);
    if (!d) return nullptr;
    auto it = d->controls.find(id);
    return it == d->controls.end() ? nullptr : &it->second;
}

HWND Item(int w, int id) {
    Control* c = Ctl(w, id);
    return c ? c->hwnd : nullptr;
}

LRESULT SendItem(int w, int id, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    HWND h = Item(w, id);
    return h ? SendMessageW(h, msg, wp, lp) : 0;
}

void EndAll() {
    for (auto& [w, d] : dialogs)
        if (d->hwnd) EndDialog(d->hwnd, 0);
}

// Calls the program's procedure; what it throws ends every dialog and is
// thrown on by DialogBox (a C++ exception must not cross the system's frames).
std::intptr_t CallProgram(Dialog* d, unsigned msg, std::uintptr_t wp, std::intptr_t lp) {
    if (pending || !d->proc) return 0;
    try {
        return d->proc(d->tmpl->id, msg, wp, lp);
    } catch (...) {
        pending = std::current_exception();
        EndAll();
        return 0;
    }
}

// List views that workers' calls change during a turn: they redraw once, at
// its end (a list view redraws its scroll bar for each row it gains).
std::vector<HWND> frozen;

void Freeze(HWND list) {
    if (!InQueuedCall() || std::find(frozen.begin(), frozen.end(), list) != frozen.end()) return;
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    frozen.push_back(list);
}

// ---- the template ----

class TemplateWriter {
  public:
    void Word(WORD v) { words_.push_back(v); }
    void Dword(DWORD v) {
        Word(LOWORD(v));
        Word(HIWORD(v));
    }
    void Text(const char* text) {
        for (wchar_t c : WideText(text ? text : "")) Word(static_cast<WORD>(c));
        Word(0);
    }
    void AlignDword() {
        if (words_.size() % 2) Word(0);
    }
    std::vector<WORD>& words() { return words_; }

  private:
    std::vector<WORD> words_;
};

// The system class (an atom) or the common control class of a kind.
struct ClassOf {
    WORD atom;  // 0: name
    const char* name;
};

DWORD StyleOf(const ControlTemplate& c, ClassOf* cls) {
    DWORD style = WS_CHILD;
    unsigned s = c.style;
    if (!(s & kHidden)) style |= WS_VISIBLE;
    if (s & kTabStop) style |= WS_TABSTOP;
    if (s & kGroup) style |= WS_GROUP;
    if (s & kBorder) style |= WS_BORDER;
    if (s & kVScroll) style |= WS_VSCROLL;
    if (s & kHScroll) style |= WS_HSCROLL;
    constexpr WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082, kListBox = 0x0083,
                   kScrollBar = 0x0084, kComboBox = 0x0085;
    switch (c.kind) {
        case ControlKind::DefPushButton:
        case ControlKind::PushButton:
            *cls = {kButton, nullptr};
            style |= c.kind == ControlKind::DefPushButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
            if (s & kMultiLine) style |= BS_MULTILINE;
            break;
        case ControlKind::CheckBox:
            *cls = {kButton, nullptr};
            style |= BS_AUTOCHECKBOX;
            break;
        case ControlKind::GroupBox:
            *cls = {kButton, nullptr};
            style |= BS_GROUPBOX;
            break;
        case ControlKind::Static:
            *cls = {kStatic, nullptr};
            style |= (s & kAlignRight) ? SS_RIGHT : (s & kAlignCenter) ? SS_CENTER : SS_LEFT;
            break;
        case ControlKind::Edit:
            *cls = {kEdit, nullptr};
            style |= (s & kAlignRight) ? ES_RIGHT : (s & kAlignCenter) ? ES_CENTER : ES_LEFT;
            if (s & kAutoHScroll) style |= ES_AUTOHSCROLL;
            if (s & kReadOnly) style |= ES_READONLY;
            if (s & kNumber) style |= ES_NUMBER;
            if (s & kMultiLine) style |= ES_MULTILINE;
            break;
        case ControlKind::ComboBox:
            *cls = {kComboBox, nullptr};
            style |= (s & kDropDownList) ? CBS_DROPDOWNLIST : CBS_DROPDOWN | CBS_AUTOHSCROLL;
            break;
        case ControlKind::ListView:
            *cls = {0, "SysListView32"};
            if (s & kReport) style |= LVS_REPORT;
            if (s & kShowSelAlways) style |= LVS_SHOWSELALWAYS;
            break;
        case ControlKind::ListBox:
            *cls = {kListBox, nullptr};
            style |= LBS_NOINTEGRALHEIGHT;
            break;
        case ControlKind::ScrollBar:
            *cls = {kScrollBar, nullptr};
            style |= SBS_HORZ;
            break;
        case ControlKind::Progress:
            *cls = {0, "msctls_progress32"};
            break;
    }
    return style;
}

// The DLGTEMPLATE of t with its items, in dialog units, in the table's font.
std::vector<WORD> BuildTemplate(const DialogTemplate& t) {
    TemplateWriter out;
    out.Dword(DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    out.Dword(t.contextHelp ? WS_EX_CONTEXTHELP : 0);
    out.Word(static_cast<WORD>(t.controls.size()));
    for (int v : {t.x, t.y, t.cx, t.cy}) out.Word(static_cast<WORD>(v));
    out.Word(0);  // no menu
    out.Word(0);  // the dialog class
    out.Text(t.caption);
    out.Word(static_cast<WORD>(t.pointSize));
    out.Text(t.font);
    for (const ControlTemplate& c : t.controls) {
        out.AlignDword();
        ClassOf cls{};
        out.Dword(StyleOf(c, &cls));
        out.Dword(0);
        for (int v : {c.x, c.y, c.cx, c.cy}) out.Word(static_cast<WORD>(v));
        out.Word(static_cast<WORD>(c.id));
        if (cls.atom) {
            out.Word(0xFFFF);
            out.Word(cls.atom);
        } else {
            out.Text(cls.name);
        }
        out.Text(c.text);
        out.Word(0);  // no creation data
    }
    return std::move(out.words());
}

// The control of the dialog that holds h (itself, or a part of it such as a
// combo box's edit), 0 for none.
int ControlIdOf(Dialog* d, HWND h) {
    while (h && GetParent(h) != d->hwnd) h = GetParent(h);
    if (!h) return 0;
    int id = GetDlgCtrlID(h);
    return d->controls.count(id) ? id : 0;
}

INT_PTR CALLBACK DialogProcedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* d = reinterpret_cast<Dialog*>(lp);
        d->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(d));
        for (const ControlTemplate& c : d->tmpl->controls) {
            Control& control = d->controls[c.id];
            control.tmpl = &c;
            control.hwnd = GetDlgItem(hwnd, c.id);
            control.text = c.text ? c.text : "";
            control.shown = WideText(control.text);
            if (c.kind == ControlKind::Progress) {
                SendMessageW(control.hwnd, PBM_SETRANGE32,
                             static_cast<WPARAM>(control.progress.min), control.progress.max);
                SendMessageW(control.hwnd, PBM_SETPOS, static_cast<WPARAM>(control.progress.pos),
                             0);
            }
        }
        if (HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1))) {
            SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
            SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        }
        SetLive(d->tmpl->id, hwnd);
        return CallProgram(d, WM_INITDIALOG, 0, 0);
    }
    auto* d = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!d) return FALSE;
    switch (msg) {
        case WM_COMMAND:
            // The notification code and the control id as the system gives them.
            return CallProgram(d, WM_COMMAND, wp, 0);
        case WM_NOTIFY: {
            auto* n = reinterpret_cast<const NMHDR*>(lp);
            if (n->code != static_cast<UINT>(LVN_COLUMNCLICK) || pending) return FALSE;
            int column = reinterpret_cast<const NMLISTVIEW*>(lp)->iSubItem;
            try {
                return SendColumnClick(d->proc, d->tmpl->id, static_cast<int>(n->idFrom), column);
            } catch (...) {
                pending = std::current_exception();
                EndAll();
                return 0;
            }
        }
        case WM_HSCROLL: {
            int id = lp ? GetDlgCtrlID(reinterpret_cast<HWND>(lp)) : 0;
            return id ? CallProgram(d, WM_HSCROLL, wp, id) : FALSE;
        }
        case WM_HELP: {
            auto* info = reinterpret_cast<const HELPINFO*>(lp);
            if (info->iContextType != HELPINFO_WINDOW || pending) return FALSE;
            int id = ControlIdOf(d, static_cast<HWND>(info->hItemHandle));
            if (id == 0) return TRUE;
            try {
                SendHelp(d->proc, d->tmpl->id, id);
            } catch (...) {
                pending = std::current_exception();
                EndAll();
            }
            return TRUE;
        }
        case WM_CONTEXTMENU: {
            // A click on the dialog itself is on a control that takes no
            // clicks (a static text): the control under the pointer.
            HWND at = reinterpret_cast<HWND>(wp);
            if (at == hwnd && lp != -1) {
                POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
                ScreenToClient(hwnd, &p);
                at = ChildWindowFromPointEx(hwnd, p, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
                if (at == hwnd) {
                    // Group boxes are transparent: look again among all.
                    at = ChildWindowFromPointEx(hwnd, p, CWP_SKIPINVISIBLE);
                }
            }
            int id = at && at != hwnd ? ControlIdOf(d, at) : 0;
            if (id == 0) return FALSE;
            return CallProgram(d, WM_CONTEXTMENU, static_cast<std::uintptr_t>(id), 0);
        }
        case WM_CLOSE:
            return CallProgram(d, WM_CLOSE, 0, 0);
        case WM_DESTROY:
            CallProgram(d, WM_DESTROY, 0, 0);
            SetLive(d->tmpl->id, nullptr);
            return FALSE;
        case WM_SETCURSOR:
            if (!busy) return FALSE;
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        default:
            return FALSE;
    }
}

// Column texts go to the control through a writable buffer.
LVCOLUMNW ColumnOf(std::wstring& text, int width) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | (width >= 0 ? LVCF_WIDTH : 0);
    col.pszText = text.data();
    col.cx = width;
    return col;
}

// Keeps a list box's horizontal scroll range as wide as its widest line.
void Widen(Control& c, const std::wstring& line) {
    HDC dc = GetDC(c.hwnd);
    if (!dc) return;
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(c.hwnd, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(c.hwnd, dc);
    if (size.cx + 4 > c.extent) {
        c.extent = size.cx + 4;
        SendMessageW(c.hwnd, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(c.extent), 0);
    }
}

struct SortContext {
    const std::vector<Row>* rows;
    KeyCompare compare;
    std::intptr_t param;
};

// Rows carry their former index while they are sorted: equal rows keep
// their order, whatever sort the control runs.
int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM context) {
    auto* s = reinterpret_cast<const SortContext*>(context);
    const auto& rows = *s->rows;
    int c = s->compare(rows[static_cast<std::size_t>(a)].key, rows[static_cast<std::size_t>(b)].key,
                       s->param);
    if (c != 0) return c < 0 ? -1 : 1;
    return a < b ? -1 : a > b ? 1 : 0;
}

void SetRowParam(HWND list, int row, LPARAM value) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = value;
    SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

void EndOfTurn() {
    for (HWND list : frozen) {
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
    }
    frozen.clear();
}

// ---- dialogs ----

int RunDialog(int templateId, int owner, ProgramProc proc) {
    const DialogTemplate* t = FindDialogTemplate(templateId);
    if (!t || Find(templateId) || pending) return -1;
    std::vector<WORD> words = BuildTemplate(*t);
    Dialog d;
    d.tmpl = t;
    d.proc = proc;
    dialogs[templateId] = &d;
    ++depth;
    Dialog* ownerDialog = Find(owner);
    INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(words.data()),
        ownerDialog ? ownerDialog->hwnd : nullptr, DialogProcedure, reinterpret_cast<LPARAM>(&d));
    dialogs.erase(templateId);
    SetLive(templateId, nullptr);
    // What workers queued for it runs out against a dialog that is gone: no
    // worker stays waiting for a window that will not come back.
    Flush();
    // Ended by the quit request rather than by EndDialog: its code.
    if (quitPosted && !d.endedFirst) result = quitCode;
    if (--depth == 0 && quitPosted) {
        // The dialog manager passes the quit on to the loop outside it; with
        // no dialog left it has been carried out.
        quitPosted = false;
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    if (pending) {
        std::exception_ptr e = pending;
        if (depth == 0) pending = nullptr;
        std::rethrow_exception(e);
    }
    return static_cast<int>(result);
}

void End(int w, int result) {
    Dialog* d = Find(w);
    if (!d || !d->hwnd || d->ended) return;
    d->ended = true;
    d->endedFirst = !quitPosted;
    EndDialog(d->hwnd, result);
}

void Quit(int code) {
    if (!OnWindowThreadNow()) {
        PostQuit(code);
        return;
    }
    quitPosted = true;
    quitCode = code;
    PostQuitMessage(code);
}

// ---- texts ----

void SetText(int w, int id, const std::string& text) {
    Control* c = Ctl(w, id);
    if (!c) return;
    c->text = text;
    c->shown = WideText(text);
    // An edit control tells its dialog of the change itself (EN_CHANGE), but
    // for a multi-line one: the rule of AnnouncesSetText.
    SetWindowTextW(c->hwnd, c->shown.c_str());
}

std::string Text(int w, int id) {
    Control* c = Ctl(w, id);
    if (!c) return "";
    int n = GetWindowTextLengthW(c->hwnd);
    std::wstring now(static_cast<std::size_t>(n) + 1, L'\0');
    now.resize(static_cast<std::size_t>(GetWindowTextW(c->hwnd, now.data(), n + 1)));
    // Unchanged since the program set it: its own bytes.
    return now == c->shown ? c->text : NarrowText(now);
}

void SetTitle(int w, const std::string& text) {
    if (Dialog* d = Find(w)) SetWindowTextW(d->hwnd, WideText(text).c_str());
}

void SetLimit(int w, int id, int chars) {
    SendItem(w, id, EM_LIMITTEXT, static_cast<WPARAM>(std::max(chars, 0)));
}

void Check(int w, int id, bool checked) {
    SendItem(w, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Checked(int w, int id) {
    return SendItem(w, id, BM_GETCHECK) == BST_CHECKED;
}

// ---- combo boxes ----

int ComboAdd(int w, int id, const std::string& text) {
    if (!Item(w, id)) return -1;
    std::wstring wide = WideText(text);
    auto r = SendItem(w, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    return r < 0 ? -1 : static_cast<int>(r);
}

void ComboSetData(int w, int id, int index, std::int32_t data) {
    SendItem(w, id, CB_SETITEMDATA, static_cast<WPARAM>(index), data);
}

std::int32_t ComboData(int w, int id, int index) {
    if (!Item(w, id) || index < 0 || index >= SendItem(w, id, CB_GETCOUNT)) return -1;
    return static_cast<std::int32_t>(SendItem(w, id, CB_GETITEMDATA, static_cast<WPARAM>(index)));
}

void ComboSelect(int w, int id, int index) {
    // An index past the items clears the selection, as -1 does (where the
    // control would keep it).
    if (index >= SendItem(w, id, CB_GETCOUNT)) index = -1;
    SendItem(w, id, CB_SETCURSEL, static_cast<WPARAM>(index));
}

int ComboSelection(int w, int id) {
    if (!Item(w, id)) return -1;
    return static_cast<int>(SendItem(w, id, CB_GETCURSEL));
}

// ---- the scroll bar ----

void ScrollRange(int w, int id, int min, int max) {
    if (HWND h = Item(w, id)) SetScrollRange(h, SB_CTL, min, std::max(min, max), TRUE);
}

void ScrollSet(int w, int id, int pos) {
    if (HWND h = Item(w, id)) SetScrollPos(h, SB_CTL, pos, TRUE);
}

int ScrollPos(int w, int id) {
    HWND h = Item(w, id);
    return h ? GetScrollPos(h, SB_CTL) : 0;
}

// ---- the status list ----

void LinesAdd(int w, int id, const std::string& text) {
    Control* c = Ctl(w, id);
    if (!c) return;
    std::wstring line = WideText(text);
    SendMessageW(c->hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    Widen(*c, line);
}

void LinesClear(int w, int id) {
    Control* c = Ctl(w, id);
    if (!c) return;
    SendMessageW(c->hwnd, LB_RESETCONTENT, 0, 0);
    c->extent = 0;
    SendMessageW(c->hwnd, LB_SETHORIZONTALEXTENT, 0, 0);
}

void LinesSelect(int w, int id, int index) {
    SendItem(w, id, LB_SETCURSEL, static_cast<WPARAM>(index));
}

// ---- list views ----

void ListAddColumn(int w, int id, int column, const std::string& text, int width) {
    HWND h = Item(w, id);
    if (!h) return;
    HWND header = reinterpret_cast<HWND>(SendMessageW(h, LVM_GETHEADER, 0, 0));
    int count = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    std::wstring wide = WideText(text);
    LVCOLUMNW col = ColumnOf(wide, std::max(width, 0));
    SendMessageW(h, LVM_INSERTCOLUMNW, static_cast<WPARAM>(std::clamp(column, 0, count)),
                 reinterpret_cast<LPARAM>(&col));
}

bool ListChangeColumn(int w, int id, int column, const std::string& text, int width) {
    HWND h = Item(w, id);
    if (!h || column < 0) return false;
    LVCOLUMNW probe{};
    probe.mask = LVCF_WIDTH;
    if (!SendMessageW(h, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                      reinterpret_cast<LPARAM>(&probe)))
        return false;
    std::wstring wide = WideText(text);
    LVCOLUMNW col = ColumnOf(wide, width);
    return SendMessageW(h, LVM_SETCOLUMNW, static_cast<WPARAM>(column),
                        reinterpret_cast<LPARAM>(&col)) != 0;
}

void ListColor(int w, int id, std::uint32_t color) {
    if (HWND h = Item(w, id)) {
        SendMessageW(h, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(color));
        InvalidateRect(h, nullptr, TRUE);
    }
}

int ListInsert(int w, int id, int index, const std::string& text, std::uint32_t key) {
    Control* c = Ctl(w, id);
    if (!c) return -1;
    int count = static_cast<int>(c->rows.size());
    index = (index < 0 || index > count) ? count : index;
    std::wstring wide = WideText(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = wide.data();
    item.lParam = static_cast<LPARAM>(key);
    Freeze(c->hwnd);
    auto at = SendMessageW(c->hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (at < 0) return -1;
    c->rows.insert(c->rows.begin() + at, Row{{text}, key});
    return static_cast<int>(at);
}

void ListSetCell(int w, int id, int row, int column, const std::string& text) {
    Control* c = Ctl(w, id);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size()) || column < 0) return;
    auto& cells = c->rows[static_cast<std::size_t>(row)].cells;
    if (static_cast<int>(cells.size()) <= column)
        cells.resize(static_cast<std::size_t>(column) + 1);
    cells[static_cast<std::size_t>(column)] = text;
    std::wstring wide = WideText(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(c->hwnd, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

std::string ListCell(int w, int id, int row, int column) {
    Control* c = Ctl(w, id);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size()) || column < 0) return "";
    const auto& cells = c->rows[static_cast<std::size_t>(row)].cells;
    return column < static_cast<int>(cells.size()) ? cells[static_cast<std::size_t>(column)] : "";
}

std::uint32_t ListKey(int w, int id, int row) {
    Control* c = Ctl(w, id);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size())) return 0;
    return c->rows[static_cast<std::size_t>(row)].key;
}

int ListCount(int w, int id) {
    Control* c = Ctl(w, id);
    return c ? static_cast<int>(c->rows.size()) : 0;
}

void ListClear(int w, int id) {
    Control* c = Ctl(w, id);
    if (!c) return;
    SendMessageW(c->hwnd, LVM_DELETEALLITEMS, 0, 0);
    c->rows.clear();
}

int ListFind(int w, int id, const std::string& text) {
    HWND h = Item(w, id);
    if (!h) return -1;
    // A whole first-column text, ignoring case.
    std::wstring wide = WideText(text);
    LVFINDINFOW find{};
    find.flags = LVFI_STRING;
    find.psz = wide.c_str();
    return static_cast<int>(
        SendMessageW(h, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

bool ListSelected(int w, int id, int row) {
    return SendItem(w, id, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) &
           LVIS_SELECTED;
}

int ListSelectedCount(int w, int id) {
    return static_cast<int>(SendItem(w, id, LVM_GETSELECTEDCOUNT));
}

void ListSort(int w, int id, KeyCompare compare, std::intptr_t param) {
    Control* c = Ctl(w, id);
    if (!c || c->rows.empty()) return;
    int n = static_cast<int>(c->rows.size());
    for (int i = 0; i < n; ++i) SetRowParam(c->hwnd, i, i);
    SortContext context{&c->rows, compare, param};
    SendMessageW(c->hwnd, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&context),
                 reinterpret_cast<LPARAM>(CompareRows));
    // The rows in their new order, each given its key back.
    std::vector<Row> sorted;
    sorted.reserve(c->rows.size());
    for (int i = 0; i < n; ++i) {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        SendMessageW(c->hwnd, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        sorted.push_back(std::move(c->rows[static_cast<std::size_t>(item.lParam)]));
        SetRowParam(c->hwnd, i, static_cast<LPARAM>(sorted.back().key));
    }
    c->rows = std::move(sorted);
}

void ListSortMark(int w, int id, int column, bool ascending) {
    HWND h = Item(w, id);
    HWND header = h ? reinterpret_cast<HWND>(SendMessageW(h, LVM_GETHEADER, 0, 0)) : nullptr;
    if (!header) return;
    int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == column) item.fmt |= ascending ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
}

// ---- showing, progress, cursor, boxes, geometry ----

void Show(int w, int id, bool shown) {
    if (HWND h = Item(w, id)) ShowWindow(h, shown ? SW_SHOW : SW_HIDE);
}

void ChangeProgress(int w, int id, const std::function<void(ProgressBar&)>& change) {
    Control* c = Ctl(w, id);
    if (!c || c->tmpl->kind != ControlKind::Progress) return;
    change(c->progress);
    SendMessageW(c->hwnd, PBM_SETRANGE32, static_cast<WPARAM>(c->progress.min), c->progress.max);
    SendMessageW(c->hwnd, PBM_SETPOS, static_cast<WPARAM>(c->progress.pos), 0);
}

void Busy(bool on) {
    busy = on;
    SetCursor(LoadCursorW(nullptr, on ? IDC_WAIT : IDC_ARROW));
}

int Message(int owner, const std::string& text, const std::string& caption, unsigned type,
            int unanswered) {
    HWND parent = nullptr;
    if (owner != 0) {
        Dialog* d = Find(owner);
        if (!d || !d->hwnd) return unanswered;
        parent = d->hwnd;
    }
    int answer = MessageBoxW(parent, WideText(text).c_str(), WideText(caption).c_str(),
                             type | (parent ? 0u : MB_TASKMODAL));
    // Only the box's own buttons answer: a box closed otherwise (an OK box
    // by its close box, which some systems count as Cancel) is unanswered.
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return answer == IDOK || answer == IDCANCEL ? answer : unanswered;
        case MB_YESNO:
            return answer == IDYES || answer == IDNO ? answer : unanswered;
        default:
            return unanswered;
    }
}

Box WindowBox(int w) {
    Dialog* d = Find(w);
    RECT r{};
    if (!d || !GetWindowRect(d->hwnd, &r)) return {};
    return {r.left, r.top, r.right, r.bottom};
}

Box ControlBox(int w, int id) {
    HWND h = Item(w, id);
    RECT r{};
    if (!h || !GetWindowRect(h, &r)) return {};
    return {r.left, r.top, r.right, r.bottom};
}

void Move(int w, int left, int top, int width, int height) {
    Dialog* d = Find(w);
    if (d && width > 0 && height > 0) MoveWindow(d->hwnd, left, top, width, height, TRUE);
}

}  // namespace win32host
