#include "model/text_conversion.h"

#include <windows.h>

#include <new>

// Both directions take the source as a zero-terminated string: the reported
// length includes the terminator, and anything after an embedded zero is
// dropped. An empty source still needs one unit, so it converts to "".

std::wstring toWide(const std::string& narrow)
{
    const int units = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, nullptr, 0);
    if (units <= 0)
        return L"Error";
    try {
        std::wstring buffer(static_cast<size_t>(units), L'\0');
        if (MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, &buffer[0], units) <= 0)
            return L"Error";
        return std::wstring(buffer.c_str());
    } catch (const std::bad_alloc&) {
        return L"Error";
    }
}

std::string toNarrow(const std::wstring& wide)
{
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return "Error";
    try {
        std::string buffer(static_cast<size_t>(bytes), '\0');
        if (WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &buffer[0], bytes, nullptr, nullptr) <= 0)
            return "Error";
        return std::string(buffer.c_str());
    } catch (const std::bad_alloc&) {
        return "Error";
    }
}
