#include "model/code_page.h"

#include <algorithm>

#include <cstdio>

namespace {

// Bytes 80..9F of code page 1252; the rest of the page is Latin-1.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t fromWindows1252(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : byte;
}

// The byte for a code point; false when the code page lacks it.
bool toWindows1252(char32_t codePoint, unsigned char& byte)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        byte = static_cast<unsigned char>(codePoint);
        return true;
    }
    for (int index = 0; index < 32; ++index) {
        if (kWindows1252High[index] == codePoint) {
            byte = static_cast<unsigned char>(0x80 + index);
            return true;
        }
    }
    return false;
}

class Windows1252 : public CodePage {
public:
    std::string name() const override { return "code page 1252"; }

    bool fromUtf8(const std::string& utf8, std::string& ansi, std::string& problem) const override
    {
        std::u32string codePoints;
        if (!decodeUtf8(utf8, codePoints)) {
            problem = "text that is not UTF-8";
            return false;
        }
        ansi.clear();
        for (char32_t codePoint : codePoints) {
            unsigned char byte = 0;
            if (!toWindows1252(codePoint, byte)) {
                problem = "the character " + codePointName(codePoint) + ", which " + name() + " cannot hold";
                return false;
            }
            ansi.push_back(static_cast<char>(byte));
        }
        return true;
    }

    bool toUtf8(const std::string& ansi, std::string& utf8, std::string& /*problem*/) const override
    {
        utf8.clear();
        for (char byte : ansi)
            appendUtf8(utf8, fromWindows1252(static_cast<unsigned char>(byte)));
        return true;
    }
};

}  // namespace

std::unique_ptr<CodePage> codePage1252()
{
    return std::make_unique<Windows1252>();
}

bool decodeUtf8(const std::string& text, std::u32string& codePoints)
{
    codePoints.clear();
    size_t position = 0;
    while (position < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[position]);
        int length = 1;
        char32_t codePoint = lead;
        char32_t smallest = 0;
        if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, codePoint = lead & 0x07, smallest = 0x10000;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, codePoint = lead & 0x0F, smallest = 0x800;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, codePoint = lead & 0x1F, smallest = 0x80;
        } else if (lead >= 0x80) {
            return false;
        }
        if (text.size() - position < static_cast<size_t>(length))
            return false;
        for (int index = 1; index < length; ++index) {
            const unsigned char next = static_cast<unsigned char>(text[position + index]);
            if ((next & 0xC0) != 0x80)
                return false;
            codePoint = codePoint << 6 | (next & 0x3F);
        }
        if (codePoint < smallest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        codePoints.push_back(codePoint);
        position += static_cast<size_t>(length);
    }
    return true;
}

void appendUtf8(std::string& text, char32_t codePoint)
{
    if (codePoint < 0x80) {
        text.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        text.push_back(static_cast<char>(0xC0 | codePoint >> 6));
        text.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        text.push_back(static_cast<char>(0xE0 | codePoint >> 12));
        text.push_back(static_cast<char>(0x80 | (codePoint >> 6 & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        text.push_back(static_cast<char>(0xF0 | codePoint >> 18));
        text.push_back(static_cast<char>(0x80 | (codePoint >> 12 & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (codePoint >> 6 & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

std::string codePointName(char32_t codePoint)
{
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
    return name;
}

std::string utf8Of(const std::u32string& codePoints)
{
    std::string text;
    for (char32_t codePoint : codePoints)
        appendUtf8(text, codePoint);
    return text;
}

size_t utf16Length(const std::u32string& codePoints)
{
    return codePoints.size() +
           static_cast<size_t>(std::count_if(codePoints.begin(), codePoints.end(), [](char32_t c) { return c > 0xFFFF; }));
}
