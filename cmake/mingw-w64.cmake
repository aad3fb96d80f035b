# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the posix
# threads model, which std::thread and std::mutex need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NODESCAN_MINGW_HOST x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${NODESCAN_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NODESCAN_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${NODESCAN_MINGW_HOST}-windres)

# Libraries and headers come from the mingw sysroot and from the prefix of
# the dependencies built for Windows (NODESCAN_WINDOWS_DEPS, which the
# windows preset sets: scripts/windows.sh builds the collector there);
# programs from this machine.
set(CMAKE_FIND_ROOT_PATH /usr/${NODESCAN_MINGW_HOST} ${NODESCAN_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry the compiler's runtime, so that they run with no DLL
# beside them but the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

