#pragma once

#include <string>

// UTF-8, the tool's own text, and UTF-16, the text of Windows' command line,
// paths and console. Both expect valid input; what is not converts to "".
std::wstring utf16FromUtf8(const std::string& utf8);
std::string utf8FromUtf16(const std::wstring& utf16);
