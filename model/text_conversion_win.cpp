#include "model/text_conversion.h"

#include <windows.h>

#include <new>

namespace {

bool isHighSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

}  // namespace

std::string toCodePage(unsigned codePage, const std::wstring& wide, std::wstring& lost)
{
    // UTF-8 holds everything; the system refuses the flags below for it.
    const bool utf8 = codePage == CP_UTF8;
    std::string narrow;
    // One character at a time, so that each lost one is known.
    for (size_t position = 0; position < wide.size();) {
        const size_t units = isHighSurrogate(wide[position]) && position + 1 < wide.size() ? 2 : 1;
        char bytes[8];
        BOOL usedDefault = FALSE;
        const int count = WideCharToMultiByte(codePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide.data() + position,
                                              static_cast<int>(units), bytes, sizeof bytes, nullptr,
                                              utf8 ? nullptr : &usedDefault);
        if (count <= 0 || usedDefault) {
            narrow.push_back('?');
            lost.append(wide, position, units);
        } else {
            narrow.append(bytes, static_cast<size_t>(count));
        }
        position += units;
    }
    return narrow;
}

// Both directions take the source as a zero-terminated string: anything
// after an embedded zero is dropped, and an empty source converts to "".

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

}  // namespace

std::wstring toWide(const std::string& narrow)
{
    return wideFrom(CP_ACP, narrow);
}

std::string toNarrow(const std::wstring& wide, std::wstring& lost)
{
    try {
        return toCodePage(GetACP(), std::wstring(wide.c_str()), lost);
    } catch (const std::bad_alloc&) {
        return "Error";
    }
}

std::string toNarrow(const std::wstring& wide)
{
    std::wstring lost;
    return toNarrow(wide, lost);
}

bool roundTrips(const std::string& narrow)
{
    return toNarrow(toWide(narrow)) == narrow;
}

std::wstring wideFromUtf8(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int length = static_cast<int>(utf8.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, &wide[0], units);
    return wide;
}

std::string utf8FromWide(const std::wstring& utf16)
{
    if (utf16.empty())
        return {};
    const int length = static_cast<int>(utf16.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}
