#include "platform/win32/Utf16.h"

#include <windows.h>

std::wstring toUtf16(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > 0x7FFFFFFF)
        return {};
    const int bytes = static_cast<int>(utf8.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, nullptr, 0);
    if (units <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, wide.data(), units) != units)
        return {};
    return wide;
}

std::string toUtf8(std::wstring_view utf16) {
    if (utf16.empty() || utf16.size() > 0x7FFFFFFF)
        return {};
    const int units = static_cast<int>(utf16.size());
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return {};
    std::string text(static_cast<std::size_t>(bytes), '\0');
    if (::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), units, text.data(), bytes, nullptr, nullptr) != bytes)
        return {};
    return text;
}
