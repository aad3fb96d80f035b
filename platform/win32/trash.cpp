// The Recycle Bin, through the shell's own delete with undo.
#include <cerrno>
#include <string>

#include "platform/files.h"
#include "platform/win32/text.h"
#include "platform/win32/win32.h"

// After <windows.h>, which it needs.
#include <shellapi.h>

bool MoveToTrash(const std::string& path, std::string* why) {
    std::wstring wide = WideText(path);
    DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        errno = ENOENT;
        return false;
    }
    // The shell wants the full path, with backslashes.
    wchar_t full[32768];
    DWORD n = GetFullPathNameW(wide.c_str(), 32768, full, nullptr);
    if (n == 0 || n >= 32768) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::wstring file(full, n);
    for (wchar_t& c : file)
        if (c == L'/') c = L'\\';
    // A drive without a Recycle Bin (a network share, some removable
    // drives): the shell would delete the file for good instead.
    wchar_t root[MAX_PATH];
    SHQUERYRBINFO bin{};
    bin.cbSize = sizeof bin;
    if (!GetVolumePathNameW(file.c_str(), root, MAX_PATH) ||
        SHQueryRecycleBinW(root, &bin) != S_OK) {
        if (why) *why = "No Recycle Bin on the drive of " + path;
        errno = EXDEV;
        return false;
    }
    file.push_back(L'\0');  // the list of files ends with an empty one
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = file.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NO_UI;
    int result = SHFileOperationW(&op);
    if (result != 0 || op.fAnyOperationsAborted) {
        if (why)
            *why = path + ": the shell could not move it to the Recycle Bin (error " +
                   std::to_string(result) + ")";
        errno = result == ERROR_ACCESS_DENIED ? EACCES : EIO;
        return false;
    }
    return true;
}
