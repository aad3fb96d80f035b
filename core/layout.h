// The main window's two layouts: the simple one (the left part) and the
// advanced one (the whole dialog), the state of the toggle and the sizes.
#pragma once

enum class LayoutRequest {
    Toggle,     // toggles the layout; returns 0
    ReadState,  // returns the layout state (1 simple, 2 advanced), changes nothing
};
int AdvButtonPressed(LayoutRequest request);
// The numbers are those of the layout state, as stored; other values change nothing.
enum class SizeMode { Measure = 0, Simple = 1, Advanced = 2 };
void SetSize(SizeMode mode);
// Starts the next run in this process with the window's layout state at its start value.
void ResetLayout();
