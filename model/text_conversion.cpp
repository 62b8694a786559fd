#include "model/text_conversion.h"

#include <cstdlib>
#include <iterator>
#include <limits>

namespace {

struct CharacterRange {
    char32_t first;
    char32_t last;
};

constexpr CharacterRange kInvisibleRanges[] = {
    {0x0000, 0x0020}, {0x007F, 0x00A0},  // controls, space, no-break space
    {0x00AD, 0x00AD},                    // soft hyphen
    {0x034F, 0x034F},                    // combining grapheme joiner
    {0x061C, 0x061C},                    // Arabic letter mark
    {0x115F, 0x1160},                    // Hangul fillers
    {0x1680, 0x1680},                    // Ogham space mark
    {0x180E, 0x180E},                    // Mongolian vowel separator
    {0x2000, 0x200F},                    // spaces of every width, zero-width characters, direction marks
    {0x2028, 0x202F},                    // line and paragraph separators, embeddings, narrow no-break space
    {0x205F, 0x206F},                    // medium mathematical space, word joiner, invisible operators, isolates
    {0x3000, 0x3000},                    // ideographic space
    {0x3164, 0x3164},                    // Hangul filler
    {0xFE00, 0xFE0F},                    // variation selectors
    {0xFEFF, 0xFEFF},                    // byte order mark, zero-width no-break space
    {0xFFA0, 0xFFA0},                    // halfwidth Hangul filler
};

template <typename Text>
Text trimmed(const Text& text)
{
    size_t first = 0;
    size_t end = text.size();
    while (first < end && isInvisible(static_cast<char32_t>(text[first])))
        ++first;
    while (end > first && isInvisible(static_cast<char32_t>(text[end - 1])))
        --end;
    return text.substr(first, end - first);
}

}  // namespace

bool isInvisible(char32_t character)
{
    for (const CharacterRange& range : kInvisibleRanges) {
        if (character >= range.first && character <= range.last)
            return true;
    }
    return false;
}

std::wstring withoutInvisibleEdges(const std::wstring& text)
{
    return trimmed(text);
}

std::u32string withoutInvisibleEdges(const std::u32string& text)
{
    return trimmed(text);
}

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
