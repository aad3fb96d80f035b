#include "platform/win32/text.h"

#include "platform/text.h"
#include "platform/win32/win32.h"

std::wstring WideText(std::string_view text) {
    std::string utf8 = ShownText(text);
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string NarrowText(std::wstring_view text) {
    if (text.empty()) return {};
    int size = static_cast<int>(text.size());
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

std::string PathText(std::wstring_view path) {
    std::string out = NarrowText(path);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}
