#include "model/text_conversion.h"

#include <cstdlib>
#include <limits>

std::string toDecimal(int32_t value)
{
    // The magnitude in unsigned arithmetic, so that INT32_MIN needs no negation
    // of a signed value.
    const uint32_t unsignedValue = static_cast<uint32_t>(value);
    uint32_t magnitude = value < 0 ? 0u - unsignedValue : unsignedValue;

    char digits[11];  // "-2147483648" without its terminator
    char* first = digits + sizeof digits;
    do {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *--first = '-';
    return std::string(first, digits + sizeof digits);
}

int32_t parseNumber(const std::string& text)
{
    // long has 64 bits on some platforms and 32 on others; saturating here
    // makes every platform read the same number.
    const long value = std::strtol(text.c_str(), nullptr, 0);
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

std::string counted(uint64_t count, const char* unit)
{
    return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}
