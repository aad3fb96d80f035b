// Sorting the result lists by a click on a column header. Each column keeps
// its own direction (order), which flips with every click on it; the clicked
// header shows a marker of the direction.
#pragma once

#include <cstdint>

#include "platform/ui.h"

// Sort slots: 0 to 3 the right list's columns, 7 the left list's one.
inline constexpr int kLeftListSlot = 7;

// Sort direction per sort slot, 0 before the first click, then 1 or 2
// (user-interface thread).
extern int order[8];

// Handles a header click of either list.
void ColumnClicked(const ListNotify* notification);
// Row comparators over record keys: -1 when key1's row goes first, 0 when
// equal, 1 when key2's row goes first, in the direction of order[col].
int DoCompareInt(std::uint32_t key1, std::uint32_t key2, std::intptr_t slot);
int DoCompareString(std::uint32_t key1, std::uint32_t key2, std::intptr_t slot);
// -1 or 1 from the direction order[col]: for x equal to y, -1 in direction 1;
// for x different from y, 1 in direction 1; the opposite in direction 2.
int CompareResult(std::uint32_t x, std::uint32_t y);
// Forgets every slot's direction (tests: a new run).
void ResetSort();
