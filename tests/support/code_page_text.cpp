#include "tests/support/code_page_text.h"

#include <windows.h>

std::wstring decodeBytes(const std::string& bytes, unsigned codePage)
{
    if (bytes.empty())
        return {};
    const int length = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0)
        MultiByteToWideChar(codePage, 0, bytes.data(), length, &wide[0], units);
    return wide;
}

std::string encodeText(const std::wstring& text, unsigned codePage)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int count = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(count > 0 ? count : 0), '\0');
    if (count > 0)
        WideCharToMultiByte(codePage, 0, text.data(), length, &narrow[0], count, nullptr, nullptr);
    return narrow;
}
