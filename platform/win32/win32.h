// <windows.h> for the Win32 platform units. Some of the program's platform
// calls have the names of Win32's own (ExitProcess, PostQuitMessage,
// DeleteFile, RegDeleteKey, STILL_ACTIVE, WinHelp): Win32's declarations of
// the first two are renamed out of the way and its macros of the others are
// undefined. Include this after the platform header that the unit
// implements.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define ExitProcess Win32ExitProcessUnused
// The window host's dialogs, which have no ui.h, keep the system's.
#ifndef NODESCAN_SYSTEM_POSTQUITMESSAGE
#define PostQuitMessage Win32PostQuitMessageUnused
#endif
#include <windows.h>
#undef ExitProcess
#ifndef NODESCAN_SYSTEM_POSTQUITMESSAGE
#undef PostQuitMessage
#endif
#undef DeleteFile
#undef RegDeleteKey
#undef STILL_ACTIVE
#undef WinHelp
