#include "platform/paths.h"

#include <shlobj.h>

#include <cwchar>

#include "platform/common/roots.h"
#include "platform/files.h"
#include "platform/win32/text.h"
#include "platform/win32/win32.h"

namespace {
std::string EnvPath(const wchar_t* name) {
    const wchar_t* v = _wgetenv(name);
    return v ? PathText(v) : "";
}

// A known folder of the user (the roaming or the local application data),
// as its variable names it, else as the shell says.
std::string UserFolder(const wchar_t* variable, REFKNOWNFOLDERID id) {
    std::string dir = EnvPath(variable);
    if (!dir.empty()) return dir;
    PWSTR path = nullptr;
    if (SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path) == S_OK) dir = PathText(path);
    CoTaskMemFree(path);
    return dir;
}

// sub under NODESCAN_HOME when set, else appSub under the user's folder.
std::string PerUserDir(const char* homeSub, const wchar_t* variable, REFKNOWNFOLDERID id,
                       const char* appSub) {
    std::string home = EnvPath(L"NODESCAN_HOME");
    if (!home.empty()) return JoinPath(home, homeSub);
    return JoinPath(UserFolder(variable, id), appSub);
}

}  // namespace

std::string ConfigDir() {
    return PerUserDir("config", L"APPDATA", FOLDERID_RoamingAppData, "Nodescan");
}

std::string TempDirPath() {
    return PerUserDir("temp", L"LOCALAPPDATA", FOLDERID_LocalAppData, "Nodescan/temp");
}

std::string DataDir() {
    return PerUserDir("data", L"LOCALAPPDATA", FOLDERID_LocalAppData, "Nodescan");
}

// Else the drives C: to Z: that are there, in order; a drive without a
// medium (an empty card reader) is left out without the system asking for
// one.
std::vector<std::string> SearchRoots() {
    std::vector<std::string> roots;
    // Separated by ';', as PATH is here: ':' belongs to a drive letter.
    if (const wchar_t* list = _wgetenv(L"NODESCAN_SEARCH_ROOTS"))
        // A root given relative to the current directory is made absolute: the
        // game directory found below it is stored and must mean the same
        // place later.
        return ListedRoots(NarrowText(list), ';', AbsolutePath);
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    DWORD drives = GetLogicalDrives();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        if (!(drives & (1u << (letter - 'A')))) continue;
        std::string root = std::string(1, letter) + ":/";
        if (IsDirectory(root)) roots.push_back(root);
    }
    SetErrorMode(oldMode);
    return roots;
}
