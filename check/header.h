// Reads a waypoint file's header: its format version and its author.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

struct HeaderInfo {
    std::uint32_t version;
    char versionText[32];
    char author[32];
    char dateText[20];  // filled by the result list
};

// Reads the first 84 bytes of dir/name. A file that cannot be read gives
// version 0, an empty version text and the author "N/A". file, when given,
// gets what was found of the file (its time).
HeaderInfo CheckHeader(int bot, const std::string& name, const std::string& dir,
                       FileStart* file = nullptr);
