#include "check/sort.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "check/lists.h"
#include "check/scan.h"
#include "core/state.h"

int order[8] = {};

namespace {
// The text of a fixed field, up to its terminator or its end.
std::string_view Field(const char* field, std::size_t size) {
    return {field, strnlen(field, size)};
}

// The text a row of slot compares by; empty for a key that names no record.
std::string_view SortText(std::uint32_t key, std::intptr_t slot) {
    if (slot == kLeftListSlot) {
        if (key >= static_cast<std::uint32_t>(kMaxMaps) || !maps[key]) return {};
        return Field(maps[key], kMapNameSize);
    }
    if (key >= static_cast<std::uint32_t>(kMaxResults)) return {};
    const ResultRecord& r = MY[key];
    return slot == 3 ? Field(r.author, sizeof r.author) : Field(r.name, sizeof r.name);
}

// The string sort of the original platform, ignoring case: ASCII
// punctuation and symbols before digits, digits before letters, bytes over
// 127 after ASCII; '-' and '\'' are ordinary characters. So "de_dust_2"
// comes before "de_dust2". 1 less, 2 equal, 3 greater.
int CompareFolded(std::string_view a, std::string_view b) {
    auto weight = [](char c) {
        unsigned u = static_cast<unsigned char>(c);
        if (u >= 'A' && u <= 'Z') u += 'a' - 'A';
        unsigned group = u >= 0x80                ? 3
                         : (u >= 'a' && u <= 'z') ? 2
                         : (u >= '0' && u <= '9') ? 1
                                                  : 0;
        return group << 8 | u;
    };
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned x = weight(a[i]), y = weight(b[i]);
        if (x != y) return x < y ? 1 : 3;
    }
    return a.size() == b.size() ? 2 : a.size() < b.size() ? 1 : 3;
}

struct SlotKind {
    ListCompare compare;
    const char* first;   // the marker of direction 1
    const char* second;  // the marker of direction 2
};

SlotKind KindOf(int slot) {
    if (slot == 1 || slot == 2) return {DoCompareInt, "[9-0]", "[0-9]"};
    return {DoCompareString, "[a-z]", "[z-a]"};
}
}  // namespace

int CompareResult(std::uint32_t x, std::uint32_t y) {
    int direction = order[col];
    if (x == y) return direction == 1 ? -1 : 1;
    return direction == 1 ? 1 : -1;
}

int DoCompareInt(std::uint32_t key1, std::uint32_t key2, std::intptr_t slot) {
    if (key1 >= static_cast<std::uint32_t>(kMaxResults) ||
        key2 >= static_cast<std::uint32_t>(kMaxResults))
        return 0;
    std::uint32_t a = slot == 1 ? MY[key1].dosDate : MY[key1].version;
    std::uint32_t b = slot == 1 ? MY[key2].dosDate : MY[key2].version;
    if (a == b) return 0;
    return a > b ? CompareResult(a, a) : CompareResult(a, b);
}

int DoCompareString(std::uint32_t key1, std::uint32_t key2, std::intptr_t slot) {
    int answer = CompareFolded(SortText(key1, slot), SortText(key2, slot));
    if (answer == 2) return 0;
    if (answer == 1) return CompareResult(1, 1);
    return CompareResult(1, static_cast<std::uint32_t>(answer));
}

void ColumnClicked(const ListNotify* n) {
    if (!n) return;
    int list = n->idFrom;
    int slot = n->subItem;
    if (list == kLeftList) {
        slot = kLeftListSlot;
    } else if (list != kRightList || slot < 0 || slot > 3) {
        return;  // no column of the two lists
    }
    col = slot;
    order[slot] = order[slot] == 1 ? 2 : 1;
    SlotKind kind = KindOf(slot);
    ListSortItems(md, list, kind.compare, slot);
    SetColumnNames(list, ColumnSetup::Reset);
    int column = slot == kLeftListSlot ? 0 : slot;
    std::string header =
        std::string(Cols[column].text) + " " + (order[slot] == 1 ? kind.first : kind.second);
    ListSetColumn(md, list, column, header, -1);
    // Direction 1 is A to Z for text, the largest first for numbers.
    ListSetSortMark(md, list, column, (order[slot] == 1) == (kind.compare == DoCompareString));
}

void ResetSort() {
    for (int& direction : order) direction = 0;
}
