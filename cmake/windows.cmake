# The Windows build (included by CMakeLists.txt under the windows preset):
# the Win32 platform layer and the program's logic on it. The collector
# comes from NODESCAN_WINDOWS_DEPS, where scripts/windows.sh builds it.
# Nothing links into a program yet: net, shell and help have no Win32 port
# so far.

# GCC 12 at -O3 reports overlaps in std::string's inlined copies that cannot
# happen (GCC bug 105329).
add_compile_options(-Wno-restrict)

find_package(Threads REQUIRED)
find_path(GC_INCLUDE_DIR gc.h REQUIRED)
find_library(GC_LIBRARY gc REQUIRED)
add_library(nodescan_gc STATIC IMPORTED)
set_target_properties(nodescan_gc PROPERTIES IMPORTED_LOCATION ${GC_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${GC_INCLUDE_DIR})

# The ports of platform/*.h so far (memory, threads and text shared with
# Linux in platform/common/; files, trash, paths, registry); net, shell and
# help follow.
add_library(nodescan_win32 STATIC
    ${nodescan_platform_common}
    platform/win32/console.cpp
    platform/win32/files.cpp
    platform/win32/paths.cpp
    platform/win32/registry.cpp
    platform/win32/text.cpp
    platform/win32/threads.cpp
    platform/win32/trash.cpp
)
target_include_directories(nodescan_win32 PUBLIC ${CMAKE_SOURCE_DIR})
# Unicode: every Win32 call of the layer takes UTF-16 (the W functions).
target_compile_definitions(nodescan_win32 PRIVATE UNICODE _UNICODE)
target_link_libraries(nodescan_win32 PUBLIC nodescan_gc Threads::Threads
    PRIVATE advapi32 ole32 shell32 uuid)

# The logic, but for the units on zziplib, which has no mingw-w64 build yet
# (its Debian source cannot be fetched): the archive installation
# (download/zip.cpp) and the update check, which tests the archive it saves
# with zziplib and its digest with Sha256OfFile, not yet ported either
# (download/update.cpp).
set(nodescan_core_windows ${nodescan_core_sources})
list(REMOVE_ITEM nodescan_core_windows download/zip.cpp download/update.cpp)
add_library(nodescan_core STATIC ${nodescan_core_windows})
target_include_directories(nodescan_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(nodescan_core PUBLIC nodescan_win32)
# mingw-w64 declares the POSIX calls gmtime_r and localtime_r (on top of
# gmtime_s and localtime_s) where this asks for them.
target_compile_definitions(nodescan_core PRIVATE _POSIX_THREAD_SAFE_FUNCTIONS)

# The window host: dialogs 100 and 300 built in memory for the system's
# dialog manager, with the common controls.
add_library(nodescan_win32ui OBJECT
    platform/win32/dialog.cpp
    platform/win32/dispatch.cpp
    platform/win32/ui_win32.cpp
)
target_include_directories(nodescan_win32ui PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(nodescan_win32ui PRIVATE UNICODE _UNICODE)
target_link_libraries(nodescan_win32ui PUBLIC comctl32 gdi32 user32)

# The desktop program: a GUI program (no console) entered at wWinMain, with
# its manifest.
enable_language(RC)
add_executable(nodescan WIN32 platform/win32/main.cpp platform/win32/nodescan.rc)
target_link_options(nodescan PRIVATE -municode)
target_link_libraries(nodescan PRIVATE nodescan_core nodescan_win32ui)

# nodescan-cli.exe and the test suite, on the headless host as on Linux.
add_library(nodescan_headless OBJECT platform/headless/ui_headless.cpp)
target_link_libraries(nodescan_headless PUBLIC nodescan_core)
find_package(nlohmann_json REQUIRED)

add_executable(nodescan-cli cli/main.cpp cli/help.cpp cli/output.cpp)
target_link_libraries(nodescan-cli PRIVATE nodescan_headless nlohmann_json::nlohmann_json)

if(NODESCAN_BUILD_TESTS)
    enable_testing()
    add_subdirectory(tests)
    # The window host's contract on a real dialog: it needs a display, so
    # scripts/windows-smoke.sh runs it, not the suite.
    add_executable(nodescan_win32ui_tests tests/win32/host_test.cpp tests/win32/native.cpp
        tests/support/contract.cpp)
    target_include_directories(nodescan_win32ui_tests PRIVATE tests)
    target_compile_definitions(nodescan_win32ui_tests PRIVATE UNICODE _UNICODE)
    target_link_libraries(nodescan_win32ui_tests PRIVATE nodescan_core nodescan_win32ui
        GTest::gtest GTest::gtest_main)
endif()
