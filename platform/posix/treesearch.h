// The tree search behind SearchTreeForFile, with the directories it leaves
// out given by the caller (tests use their own).
#pragma once

#include <string>
#include <vector>

namespace treesearch {

// The directories SearchTreeForFile never enters: the pseudo file systems.
const std::vector<std::string>& PseudoFileSystems();

// SearchTreeForFile, leaving out every directory below root that is one of
// skipped (the same directory, however it is reached). root itself is always
// searched, and may be a symbolic link.
bool Search(const std::string& root, const std::string& name,
            const std::vector<std::string>& skipped, std::string* found);

}  // namespace treesearch
