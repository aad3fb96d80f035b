#include "support/contract.h"

#include <gtest/gtest.h>

#include "platform/ui.h"

namespace {
constexpr Hwnd M = 100;  // and its edit, check box, combo box, scroll bar, list view
constexpr int E = 110, X = 134, C = 102, S = 150, L = 123, P = 157;
std::string J(std::initializer_list<long long> values) {  // "1 -1 0"
    std::string out;
    for (long long v : values) out += (out.empty() ? "" : " ") + std::to_string(v);
    return out;
}
std::string Row(int row) {  // a list row: its first two cells and its key
    return ListGetItemText(M, L, row, 0) + "|" + ListGetItemText(M, L, row, 1) + "|" +
           J({ListGetItemKey(M, L, row)});
}
int KeysDown(std::uint32_t a, std::uint32_t b, std::intptr_t) {
    return a > b ? -1 : a < b;
}
}  // namespace

void RunHostContract(const std::function<int()>& barPos) {
    EXPECT_EQ((SetDlgItemText(M, E, "Pod Bot"), GetDlgItemText(M, E)), "Pod Bot");
    EXPECT_EQ((SetDlgItemInt(M, E, -42), GetDlgItemText(M, E)), "-42");
    EXPECT_EQ((SetDlgItemText(M, 999, "x"), GetDlgItemText(M, 999)), "") << "no such control";
    EXPECT_EQ((CheckDlgButton(M, X, true), J({IsDlgButtonChecked(M, X)})), "1");
    EXPECT_EQ((CheckDlgButton(M, X, false), J({IsDlgButtonChecked(M, X)})), "0");
    // Combo boxes: adding selects nothing; an index out of range reads -1.
    EXPECT_EQ(J({ComboAddString(M, C, "Joe"), ComboAddString(M, C, "Swat")}), "0 1");
    EXPECT_EQ(J({ComboGetCurSel(M, C)}) + GetDlgItemText(M, C), "-1");
    EXPECT_EQ((ComboSetItemData(M, C, 1, 77), J({ComboGetItemData(M, C, 1)})), "77");
    EXPECT_EQ(J({ComboGetItemData(M, C, 0), ComboGetItemData(M, C, 5)}), "0 -1");
    EXPECT_EQ((ComboSetCurSel(M, C, 1), J({ComboGetCurSel(M, C)}) + GetDlgItemText(M, C)), "1Swat");
    EXPECT_EQ((ComboSetCurSel(M, C, 9), J({ComboGetCurSel(M, C)}) + GetDlgItemText(M, C)), "-1");
    // Scroll and progress bars keep the position within the range, a reversed
    // one holds its minimum; a progress step past the maximum wraps round.
    EXPECT_EQ((ScrollSetRange(M, S, 0, 5), ScrollSetPos(M, S, 9), ScrollGetPos(M, S)), 5);
    EXPECT_EQ((ScrollSetPos(M, S, -3), ScrollGetPos(M, S)), 0);
    EXPECT_EQ((ScrollSetRange(M, S, 4, 2), ScrollSetPos(M, S, 9), ScrollGetPos(M, S)), 4);
    ProgressSetRange(M, P, 2, 6), ProgressSetStep(M, P, 3);
    EXPECT_EQ(J({(ProgressSetPos(M, P, 9), barPos()), (ProgressSetPos(M, P, -1), barPos()),
                 (ProgressStepIt(M, P), barPos()), (ProgressStepIt(M, P), barPos()),
                 (ProgressSetRange(M, P, 0, 1), barPos()), (ProgressStepIt(M, P), barPos()),
                 (ProgressSetRange(M, P, 7, 3), ProgressStepIt(M, P), barPos())}),
              "6 2 5 4 1 0 7");
    // List views: an index past the end appends; a find matches the whole
    // first cell in any case; reads out of range are empty; sorts move rows.
    ListInsertColumn(M, L, 0, "Map", 99), ListInsertColumn(M, L, 1, "Day", 9);
    EXPECT_EQ(J({ListInsertItem(M, L, 0, "b.bsp", 2), ListInsertItem(M, L, 99, "C.bsp", 3)}),
              "0 1");
    EXPECT_EQ(J({ListInsertItem(M, L, 0, "a.bsp", 1), ListGetItemCount(M, L)}), "0 3");
    EXPECT_EQ(J({ListFindItem(M, L, "c.BSP"), ListFindItem(M, L, "c")}), "2 -1");
    ListSetItemText(M, L, 0, 1, "1/2"), ListSetItemText(M, L, 7, 0, "x");
    EXPECT_EQ(Row(0) + " " + Row(7), "a.bsp|1/2|1 ||0");
    EXPECT_EQ(J({ListSetColumn(M, L, 1, "Date", -1), ListSetColumn(M, L, 4, "", 9)}), "1 0");
    EXPECT_EQ((ListSortItems(M, L, KeysDown, 0), Row(0) + " " + Row(2)), "C.bsp||3 a.bsp|1/2|1");
    EXPECT_EQ(J({ListFindItem(M, L, "A.BSP"), ListGetSelectedCount(M, L)}), "2 0");
    EXPECT_EQ(J({ListIsItemSelected(M, L, 0), ListIsItemSelected(M, L, 9)}), "0 0");
    EXPECT_EQ((ListDeleteAllItems(M, L), J({ListGetItemCount(M, L), ListFindItem(M, L, "a")})),
              "0 -1");
    // A box closed without a choice: Cancel where it has one, else No for a
    // question, else OK; the icon changes nothing.
    std::string answers;
    for (unsigned type : {MB_OK | MB_ICONERROR, MB_OKCANCEL | MB_ICONWARNING,
                          MB_YESNO | MB_ICONQUESTION, MB_OK | 0u, MB_OKCANCEL | 0u, MB_YESNO | 0u})
        answers += J({MessageBox(M, "Go on?", "Question", type)}) + " ";
    EXPECT_EQ(answers, J({IDOK, IDCANCEL, IDNO, IDOK, IDCANCEL, IDNO}) + " ");
}
