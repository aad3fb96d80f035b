// The collector's header for the platform units. The program's threads
// register themselves (see CreateThread), so the system's thread calls are
// not redirected to the collector's, and on Windows <windows.h> stays out of
// the units whose names it would clash with.
#pragma once

#define GC_THREADS
#define GC_NO_THREAD_REDIRECTS
#define GC_NO_THREAD_DECLS
#include <gc.h>
