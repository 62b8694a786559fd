#pragma once

#include <cstdint>
#include <string>

// Decimal text of a value: no plus sign, no leading zero, no grouping.
std::string toDecimal(int32_t value);

// A count with its unit: "1 preset", "3 presets".
std::string counted(uint64_t count, const char* unit);

// Reads a number the way the user's texts are read everywhere: strtol with
// base 0 ("0x" hexadecimal, leading "0" octal), saturated to 32 bits; text
// without digits reads as 0.
int32_t parseNumber(const std::string& text);

// Characters that show as nothing or as mere space: white space of every
// Unicode kind (no-break, thin, ideographic), zero-width characters and
// joiners, direction marks, the byte order mark, control characters. Text
// copied from web pages and documents carries them where they cannot be seen.
bool isInvisible(char32_t character);
// The text without invisible characters at either end. In UTF-16 a
// surrogate is never invisible, so a character beyond U+FFFF stays whole.
std::wstring withoutInvisibleEdges(const std::wstring& text);
std::u32string withoutInvisibleEdges(const std::u32string& text);

#ifdef _WIN32
// Text of `codePage` for UTF-16 text, never with a best-fit look-alike: each
// character the code page cannot hold becomes '?' and is appended to `lost`.
// The one conversion into config.dat's text, for the editor and the tool.
std::string toCodePage(unsigned codePage, const std::wstring& wide, std::wstring& lost);

// Conversions between the model's narrow text (system ANSI code page) and the
// UTF-16 of the user interface. A failed conversion into UTF-16 yields
// "Error". Into the code page, `lost` learns the characters that became '?'.
std::wstring toWide(const std::string& narrow);
std::string toNarrow(const std::wstring& wide, std::wstring& lost);
std::string toNarrow(const std::wstring& wide);

// Whether stored text comes back byte for byte from toNarrow(toWide()):
// bytes that are no text of the code page (a file from a system of another
// code page) do not.
bool roundTrips(const std::string& narrow);

// UTF-8 (the texts of the probe and the tool) and UTF-16 (command lines,
// paths, the console), the whole string. Both expect valid input; what is
// not converts to "".
std::wstring wideFromUtf8(const std::string& utf8);
std::string utf8FromWide(const std::wstring& wide);
#endif
