#pragma once

#include <string>
#include <string_view>

// The UTF-16 form of a UTF-8 text, for the wide-character Win32 calls (file names above all: the narrow
// calls use the ANSI code page). Invalid UTF-8 becomes U+FFFD; an empty string when the text is empty.
std::wstring toUtf16(std::string_view utf8);

// The UTF-8 form of a UTF-16 text that a wide-character call gave (registry values, the command line,
// Windows' error texts). Unpaired surrogates become U+FFFD; an empty string when the text is empty.
std::string toUtf8(std::wstring_view utf16);
