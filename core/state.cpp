#include "core/state.h"

std::atomic<Hwnd> md{kNoWindow};

void ResetSharedState() {
    md = kNoWindow;
}
