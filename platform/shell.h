// The desktop shell: opening a web address or a file with the user's program.
#pragma once

#include <string>

// Opens target ("open" verb); false when nothing could be started.
bool ShellOpen(int owner, const std::string& target);
