#include "probe/text_split.h"

#include <algorithm>

namespace {

const char kBlanks[] = " \t\n\v\f\r";

}  // namespace

bool nextLine(const std::string& text, size_t& at, std::string& line)
{
    if (at >= text.size())
        return false;
    const size_t end = std::min(text.find('\n', at), text.size());
    line.assign(text, at, end - at);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    at = end + 1;
    return true;
}

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    const size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::vector<std::string> splitWords(const std::string& text, size_t limit)
{
    std::vector<std::string> words;
    for (size_t start = text.find_first_not_of(kBlanks); start != std::string::npos && words.size() < limit;) {
        const size_t end = text.find_first_of(kBlanks, start);
        words.push_back(text.substr(start, end - start));
        start = text.find_first_not_of(kBlanks, end);
    }
    return words;
}
