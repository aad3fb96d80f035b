# The Windows build (included by CMakeLists.txt under the windows preset):
# the Win32 platform layer and the program's logic on it. The collector
# comes from NODESCAN_WINDOWS_DEPS, where scripts/windows.sh builds it.
# Its programs: nodescan.exe on the window host of platform/win32,
# nodescan-cli.exe and the tests on the headless host.

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
# Linux in platform/common/; files, trash, paths, registry, net), and
# zziplib's calls on zlib (platform/win32/zzip.cpp; zziplib has no mingw-w64
# build and its Debian source cannot be fetched).
add_library(nodescan_win32 STATIC
    ${nodescan_platform_common}
    platform/win32/console.cpp
    platform/win32/files.cpp
    platform/win32/net.cpp
    platform/win32/paths.cpp
    platform/win32/registry.cpp
    platform/win32/text.cpp
    platform/win32/threads.cpp
    platform/win32/trash.cpp
    platform/win32/zzip.cpp
)
# <zzip/zzip.h> is platform/win32/zzip/zzip.h.
target_include_directories(nodescan_win32 PUBLIC ${CMAKE_SOURCE_DIR}
    ${CMAKE_SOURCE_DIR}/platform/win32)
# Unicode: every Win32 call of the layer takes UTF-16 (the W functions).
target_compile_definitions(nodescan_win32 PRIVATE UNICODE _UNICODE)
target_link_libraries(nodescan_win32 PUBLIC nodescan_gc Threads::Threads z
    PRIVATE advapi32 ole32 shell32 uuid
    # net: Winsock, the adapters, SChannel, certificates; files: the digest
    ws2_32 iphlpapi secur32 crypt32 bcrypt)

# The shell's open and the help viewer (the topics in <exe dir>\help\*.html,
# shown in the web browser), for the window host; the headless host of the
# CLI has its own.
add_library(nodescan_win32_shell STATIC
    platform/win32/help.cpp
    platform/win32/shell.cpp
)
target_compile_definitions(nodescan_win32_shell PRIVATE UNICODE _UNICODE)
target_link_libraries(nodescan_win32_shell PUBLIC nodescan_win32 PRIVATE ole32 shell32 user32)

# The logic.
add_library(nodescan_core STATIC ${nodescan_core_sources})
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
target_link_libraries(nodescan PRIVATE nodescan_core nodescan_win32ui nodescan_win32_shell)

# nodescan-cli.exe and the test suite, on the headless host as on Linux.
add_library(nodescan_headless OBJECT platform/headless/ui_headless.cpp)
target_link_libraries(nodescan_headless PUBLIC nodescan_core)
# The header-only libraries, which scripts/windows.sh links into the
# dependencies' prefix (their headers in /usr/include are for any system).
find_path(NODESCAN_JSON_INCLUDE nlohmann/json.hpp REQUIRED)
find_path(NODESCAN_CLI11_INCLUDE CLI/CLI.hpp REQUIRED)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${NODESCAN_JSON_INCLUDE})

add_executable(nodescan-cli cli/main.cpp cli/help.cpp cli/output.cpp)
target_include_directories(nodescan-cli PRIVATE ${NODESCAN_CLI11_INCLUDE})
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
