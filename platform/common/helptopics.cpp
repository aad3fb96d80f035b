#include "platform/common/helptopics.h"

std::uint32_t HelpContext(const std::uint32_t* ids, int ctrlId) {
    for (const std::uint32_t* p = ids; p && (p[0] || p[1]); p += 2)
        if (static_cast<int>(p[0]) == ctrlId) return p[1];
    return 0;
}

std::string HelpTopicPage(std::uint32_t context) {
    return "ctx-" + std::to_string(context >> 16) + "-" + std::to_string(context & 0xFFFF) +
           ".html";
}

std::string MissingHelpFileText(const char* file) {
    return "Cannot find the help file " + std::string(file ? file : "") + ".";
}

std::string MissingHelpTopicText(const std::string& page) {
    return "The help topic " + page + " is missing from this build of Nodescan.";
}
