// The main window's two layouts: the simple one (the left part) and the
// advanced one (the whole dialog), the state of the toggle and the sizes.
#pragma once

// query nonzero: returns the layout state (1 simple, 2 advanced); 0: toggles it.
int AdvButtonPressed(int query);
// 0 measures the two layouts, 1 applies the simple one, 2 the advanced one.
void SetSize(int mode);
// Starts the next run in this process with the window's layout state at its start value.
void ResetLayout();
