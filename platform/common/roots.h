// The search roots that NODESCAN_SEARCH_ROOTS lists.
#pragma once

#include <string>
#include <vector>

// The non-empty entries of list, split at separator, each made absolute by
// absolute.
std::vector<std::string> ListedRoots(const std::string& list, char separator,
                                     std::string (*absolute)(const std::string&));
