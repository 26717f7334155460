#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// std::filesystem paths to and from UTF-8 text on every system (a path made from a narrow string
// would take the ANSI code page on Windows).
inline std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
