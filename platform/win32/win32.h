// <windows.h> for the Win32 platform units. Some of the program's platform
// calls have the names of Win32's own (ExitProcess, DeleteFile,
// RegDeleteKey, STILL_ACTIVE): Win32's declaration of ExitProcess is renamed out of the
// way and its macros of those names are undefined. Include this after the
// platform header that the unit implements.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define ExitProcess Win32ExitProcessUnused
#include <windows.h>
#undef ExitProcess
#undef DeleteFile
#undef RegDeleteKey
#undef STILL_ACTIVE
