#include "platform/common/roots.h"

std::vector<std::string> ListedRoots(const std::string& list, char separator,
                                     std::string (*absolute)(const std::string&)) {
    std::vector<std::string> roots;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(separator, start);
        if (end == std::string::npos) end = list.size();
        std::string root = list.substr(start, end - start);
        if (!root.empty()) roots.push_back(absolute(root));
        start = end + 1;
    }
    return roots;
}
