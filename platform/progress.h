// A progress bar's range, step and position, changed by the rules both
// window hosts keep, as the system's progress bar control has them.
#pragma once

#include <algorithm>

struct ProgressBar {
    int min = 0, max = 100, step = 10, pos = 0;

    // A maximum below the minimum leaves the minimum as the only position
    // (the control requires max > min and says nothing of other ranges).
    void SetRange(int lo, int hi) {
        min = lo;
        max = std::max(lo, hi);
        pos = std::clamp(pos, min, max);
    }
    // A position outside the range is taken as the nearer end.
    void SetPos(int p) { pos = std::clamp(p, min, max); }
    // A step past the maximum wraps round from the minimum by what it went
    // past, as many times as the range fits; a range of one position stays.
    // times steps end where as many single steps would.
    void StepIt(int times = 1) {
        for (int i = 0; i < times; ++i) {
            long long next = static_cast<long long>(pos) + step;
            long long span = static_cast<long long>(max) - min;
            if (next > max) next = span > 0 ? min + (next - min) % span : min;
            pos = static_cast<int>(std::max<long long>(next, min));
        }
    }
};
