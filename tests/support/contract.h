// One table of platform/ui.h calls and the answers every host gives, run on
// dialog 100; unansweredBox shows a box of a type and closes it unchosen.
#pragma once

#include <functional>

void RunHostContract(const std::function<int(unsigned type)>& unansweredBox);
