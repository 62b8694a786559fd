#pragma once

// The event log shared by the production-system stand-ins and the tests that
// read it. One event per line, UTF-8, fields separated by tabs:
//   <source> TAB <event> [TAB <field>]... LF
// A field escapes '%' and every control character as %XX (two hex digits), so
// that tabs and line breaks inside a text cannot split a line and paths stay
// readable.

#include <cstdint>
#include <string>

namespace host_log {

// Environment variables through which a test directs the stand-ins.
constexpr wchar_t kLogFileVariable[] = L"RIVERRA_HOST_LOG";
constexpr wchar_t kCreateFailsVariable[] = L"RIVERRA_HOST_CREATE_FAILS";
constexpr wchar_t kRendererSleepVariable[] = L"RIVERRA_RENDERER_SLEEP_MS";

constexpr wchar_t kFieldSeparator = L'\t';
constexpr wchar_t kEscape = L'%';
constexpr wchar_t kHexDigits[] = L"0123456789ABCDEF";

// A pointer as the stand-ins write it: "0x" and a fixed number of hex digits.
inline std::wstring pointerText(const void* pointer)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(pointer);
    std::wstring digits(2 * sizeof(value), L'0');
    for (size_t i = digits.size(); i-- > 0; value >>= 4)
        digits[i] = kHexDigits[value & 0xF];
    return L"0x" + digits;
}

inline std::wstring escapeField(const std::wstring& text)
{
    std::wstring escaped;
    for (wchar_t unit : text) {
        if (unit == kEscape || unit < 0x20 || unit == 0x7F) {
            escaped += kEscape;
            escaped += kHexDigits[(unit >> 4) & 0xF];
            escaped += kHexDigits[unit & 0xF];
        } else {
            escaped += unit;
        }
    }
    return escaped;
}

inline int hexDigitValue(wchar_t digit)
{
    if (digit >= L'0' && digit <= L'9')
        return digit - L'0';
    if (digit >= L'A' && digit <= L'F')
        return digit - L'A' + 10;
    if (digit >= L'a' && digit <= L'f')
        return digit - L'a' + 10;
    return -1;
}

// The inverse of escapeField; a '%' that is not followed by two hex digits is
// kept as it stands.
inline std::wstring unescapeField(const std::wstring& field)
{
    std::wstring text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == kEscape && i + 2 < field.size() && hexDigitValue(field[i + 1]) >= 0 &&
            hexDigitValue(field[i + 2]) >= 0) {
            text += static_cast<wchar_t>(hexDigitValue(field[i + 1]) * 16 + hexDigitValue(field[i + 2]));
            i += 2;
        } else {
            text += field[i];
        }
    }
    return text;
}

}  // namespace host_log
