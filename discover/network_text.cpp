#include "discover/network_text.h"

#include <algorithm>
#include <cctype>

std::string printableText(const std::string& text, size_t limit)
{
    std::string kept;
    for (const char c : text)
        kept += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
    if (kept.size() > limit) {
        size_t end = limit;
        while (end > 0 && (static_cast<unsigned char>(kept[end]) & 0xC0) == 0x80)
            --end;  // not inside a UTF-8 sequence
        kept.resize(end);
    }
    const size_t first = kept.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return kept.substr(first, kept.find_last_not_of(' ') - first + 1);
}

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}
