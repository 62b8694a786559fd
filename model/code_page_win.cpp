#include "model/code_page.h"

#include <windows.h>

#include "model/text_conversion.h"

namespace {

class WindowsCodePage : public CodePage {
public:
    explicit WindowsCodePage(unsigned number) : number_(number) {}

    std::string name() const override { return "code page " + std::to_string(number_); }

    bool fromUtf8(const std::string& utf8, std::string& ansi, std::string& problem) const override
    {
        std::u32string codePoints;
        if (!decodeUtf8(utf8, codePoints)) {
            problem = "text that is not UTF-8";
            return false;
        }
        if (number_ == CP_UTF8) {
            ansi = utf8;
            return true;
        }
        std::wstring lost;
        ansi = toCodePage(number_, wideFromUtf8(utf8), lost);
        if (lost.empty())
            return true;
        std::u32string lostCodePoints;
        decodeUtf8(utf8FromWide(lost), lostCodePoints);
        problem = "the character " + codePointName(lostCodePoints.at(0)) + ", which " + name() + " cannot hold";
        return false;
    }

    bool toUtf8(const std::string& ansi, std::string& utf8, std::string& problem) const override
    {
        utf8.clear();
        if (ansi.empty())
            return true;
        const int length = static_cast<int>(ansi.size());
        const int units = MultiByteToWideChar(number_, MB_ERR_INVALID_CHARS, ansi.data(), length, nullptr, 0);
        if (units <= 0) {
            problem = "bytes that are not text of " + name();
            return false;
        }
        std::wstring wide(static_cast<size_t>(units), L'\0');
        MultiByteToWideChar(number_, MB_ERR_INVALID_CHARS, ansi.data(), length, &wide[0], units);
        utf8 = utf8FromWide(wide);
        return true;
    }

private:
    unsigned number_;
};

}  // namespace

std::unique_ptr<CodePage> windowsCodePage(unsigned number)
{
    if (!IsValidCodePage(number))
        return nullptr;
    return std::make_unique<WindowsCodePage>(number);
}
