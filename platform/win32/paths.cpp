#include "platform/paths.h"

#include <shlobj.h>

#include <cwchar>

#include "platform/common/roots.h"
#include "platform/files.h"
#include "platform/win32/text.h"
#include "platform/win32/win32.h"

namespace {
std::string Env(const wchar_t* name) {
    const wchar_t* v = _wgetenv(name);
    return v ? NarrowText(v) : "";
}

// A known folder of the user (the roaming or the local application data),
// as its variable names it, else as the shell says.
std::string UserFolder(const wchar_t* variable, REFKNOWNFOLDERID id) {
    std::string dir = Env(variable);
    if (!dir.empty()) return dir;
    PWSTR path = nullptr;
    if (SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path) == S_OK) dir = NarrowText(path);
    CoTaskMemFree(path);
    return dir;
}

// sub under NODESCAN_HOME when set, else appSub under the user's folder.
std::string PerUserDir(const char* homeSub, const wchar_t* variable, REFKNOWNFOLDERID id,
                       const char* appSub) {
    std::string home = Env(L"NODESCAN_HOME");
    if (!home.empty()) return JoinPath(home, homeSub);
    return JoinPath(UserFolder(variable, id), appSub);
}

// A root given relative to the current directory, made absolute: the game
// directory found below it is stored and must mean the same place later.
std::string Absolute(const std::string& root) {
    std::wstring wide = WideText(root);
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return root;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    full.resize(n);
    return NarrowText(full);
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
        return ListedRoots(NarrowText(list), ';', Absolute);
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
