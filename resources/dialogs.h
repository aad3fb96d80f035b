// The dialog templates 100 (main window) and 300 (advanced configuration) as
// data: every control with its kind, text, position and size in dialog units
// and its styles. Both hosts build their controls from these tables.
#pragma once

#include <span>

enum class ControlKind {
    DefPushButton,
    PushButton,
    Static,
    GroupBox,
    Edit,
    CheckBox,
    ComboBox,
    ListView,
    ListBox,
    ScrollBar,
    Progress,
};

// Styles beyond the kind.
enum ControlStyle : unsigned {
    kHidden = 1u << 0,
    kBorder = 1u << 1,
    kReadOnly = 1u << 2,
    kNumber = 1u << 3,  // digits only
    kMultiLine = 1u << 4,
    kAutoHScroll = 1u << 5,
    kAlignRight = 1u << 6,
    kAlignCenter = 1u << 7,
    kShowSelAlways = 1u << 8,  // list view: selection always shown
    kReport = 1u << 9,         // list view: report mode
    kVScroll = 1u << 10,
    kHScroll = 1u << 11,
    kTabStop = 1u << 12,
    kDropDownList = 1u << 13,  // combo box without typing
    kGroup = 1u << 14,
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;  // nullptr: none
    int x, y, cx, cy;  // dialog units
    unsigned style;
};

// Whether text the program sets in the control is announced with EN_CHANGE:
// an edit box's is, but for a multi-line one's (a Win32 edit control sends no
// EN_CHANGE for WM_SETTEXT when it is multi-line). Both hosts follow it.
constexpr bool AnnouncesSetText(const ControlTemplate& c) {
    return c.kind == ControlKind::Edit && !(c.style & kMultiLine);
}

struct DialogTemplate {
    int id;
    const char* caption;
    int x, y, cx, cy;  // dialog units
    const char* font;
    int pointSize;
    bool contextHelp;                           // the help button in the caption
    std::span<const ControlTemplate> controls;  // template order = tab order
};

const DialogTemplate& MainDialogTemplate();
const DialogTemplate& ConfigDialogTemplate();
// The template of that id, or nullptr.
const DialogTemplate* FindDialogTemplate(int id);
const ControlTemplate* FindControlTemplate(const DialogTemplate& dialog, int id);
