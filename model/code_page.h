#pragma once

#include <memory>
#include <string>

// Text between UTF-8 (JSON, the command line, what the network sends) and
// the ANSI code page that config.dat holds. A character that the code page
// cannot hold is refused, never replaced.
class CodePage {
public:
    virtual ~CodePage() = default;

    // "code page 1252"
    virtual std::string name() const = 0;
    // False when the text holds a character the code page lacks; `problem`
    // then names it.
    virtual bool fromUtf8(const std::string& utf8, std::string& ansi, std::string& problem) const = 0;
    // False when the bytes are not text of the code page.
    virtual bool toUtf8(const std::string& ansi, std::string& utf8, std::string& problem) const = 0;
};

// Code page 1252 from a table of its own. Its five undefined bytes (81, 8D,
// 8F, 90, 9D) stand for the control characters U+0081, U+008D, U+008F,
// U+0090 and U+009D, as the Windows conversion functions take them, so that
// every stored text exports and imports back unchanged on any platform.
std::unique_ptr<CodePage> codePage1252();

#ifdef _WIN32
// A Windows code page through the conversion the editor uses for its fields.
std::unique_ptr<CodePage> windowsCodePage(unsigned number);
#endif

// UTF-8 one code point at a time. False for bytes that are not UTF-8
// (overlong forms, surrogates and values beyond U+10FFFF included).
bool decodeUtf8(const std::string& text, std::u32string& codePoints);
void appendUtf8(std::string& text, char32_t codePoint);
std::string utf8Of(const std::u32string& codePoints);
// "U+4E2D"
std::string codePointName(char32_t codePoint);
// The length in UTF-16 units, the measure of the editor's fields.
size_t utf16Length(const std::u32string& codePoints);
