// The help bundle's pages, one per context id (the control id in the high 16
// bits, the dialog's template id in the low 16), as every help viewer finds
// them.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* kHelpBundle = "nodescan.hlp";
inline constexpr const char* kHelpContents = "contents.html";
// The viewer's title, and the caption of what it tells the user.
inline constexpr const char* kHelpCaption = "Nodescan Help";

// The context id of ctrlId in a (control, context) table ended by a pair of
// zeros; 0 when the control has none.
std::uint32_t HelpContext(const std::uint32_t* ids, int ctrlId);

// The page of a context id: ctx-<control>-<template>.html.
std::string HelpTopicPage(std::uint32_t context);

// What a viewer tells the user when it is asked for another bundle than
// kHelpBundle, or for a page its bundle lacks.
std::string MissingHelpFileText(const char* file);
std::string MissingHelpTopicText(const std::string& page);
