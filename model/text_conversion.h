#pragma once

#include <cstdint>
#include <string>

// Decimal text of a value: no plus sign, no leading zero, no grouping.
std::string toDecimal(int32_t value);

// Reads a number the way the user's texts are read everywhere: strtol with
// base 0 ("0x" hexadecimal, leading "0" octal), saturated to 32 bits; text
// without digits reads as 0.
int32_t parseNumber(const std::string& text);

#ifdef _WIN32
// Conversions between the model's narrow text (system ANSI code page) and the
// UTF-16 of the user interface. A failed conversion yields "Error".
std::wstring toWide(const std::string& narrow);
std::string toNarrow(const std::wstring& wide);
// The same between UTF-8 (the probe's texts) and UTF-16.
std::wstring wideFromUtf8(const std::string& utf8);
std::string utf8FromWide(const std::wstring& wide);
#endif
