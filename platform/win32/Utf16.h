#pragma once

#include <string>
#include <string_view>

// The UTF-16 form of a UTF-8 text, for the wide-character Win32 calls (file names above all: the narrow
// calls use the ANSI code page). Invalid UTF-8 becomes U+FFFD; an empty string when the text is empty.
std::wstring toUtf16(std::string_view utf8);
