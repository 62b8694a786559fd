#include "model/text_conversion.h"

#include <windows.h>

#include <new>

// Both directions take the source as a zero-terminated string: the reported
// length includes the terminator, and anything after an embedded zero is
// dropped. An empty source still needs one unit, so it converts to "".

namespace {

std::wstring wideFrom(UINT codePage, const std::string& narrow)
{
    const int units = MultiByteToWideChar(codePage, 0, narrow.c_str(), -1, nullptr, 0);
    if (units <= 0)
        return L"Error";
    try {
        std::wstring buffer(static_cast<size_t>(units), L'\0');
        if (MultiByteToWideChar(codePage, 0, narrow.c_str(), -1, &buffer[0], units) <= 0)
            return L"Error";
        return std::wstring(buffer.c_str());
    } catch (const std::bad_alloc&) {
        return L"Error";
    }
}

std::string narrowFrom(UINT codePage, const std::wstring& wide)
{
    const int bytes = WideCharToMultiByte(codePage, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return "Error";
    try {
        std::string buffer(static_cast<size_t>(bytes), '\0');
        if (WideCharToMultiByte(codePage, 0, wide.c_str(), -1, &buffer[0], bytes, nullptr, nullptr) <= 0)
            return "Error";
        return std::string(buffer.c_str());
    } catch (const std::bad_alloc&) {
        return "Error";
    }
}

}  // namespace

std::wstring toWide(const std::string& narrow)
{
    return wideFrom(CP_ACP, narrow);
}

std::string toNarrow(const std::wstring& wide)
{
    return narrowFrom(CP_ACP, wide);
}

std::wstring wideFromUtf8(const std::string& utf8)
{
    return wideFrom(CP_UTF8, utf8);
}

std::string utf8FromWide(const std::wstring& wide)
{
    return narrowFrom(CP_UTF8, wide);
}
