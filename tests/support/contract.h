// The platform/ui.h calls and the answers every host gives, on dialog 100
// (boxes closed unchosen); barPos reads the position progress bar 157 shows.
#pragma once

#include <functional>

void RunHostContract(const std::function<int()>& barPos);
