#include "tool/text_table.h"

#include <algorithm>
#include <cstdio>

#include "tool/code_page.h"

namespace {

size_t characters(const std::string& utf8)
{
    std::u32string codePoints;
    return decodeUtf8(utf8, codePoints) ? codePoints.size() : utf8.size();
}

std::string escaped(unsigned codePoint)
{
    char text[8];
    std::snprintf(text, sizeof text, "\\u%04X", codePoint);
    return text;
}

}  // namespace

std::string consoleText(const std::string& utf8)
{
    std::string shown;
    shown.reserve(utf8.size());
    for (size_t position = 0; position < utf8.size(); ++position) {
        const auto byte = static_cast<unsigned char>(utf8[position]);
        const auto next = position + 1 < utf8.size() ? static_cast<unsigned char>(utf8[position + 1]) : 0u;
        if (byte < 0x20 || byte == 0x7F) {
            shown += escaped(byte);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080 to U+009F
            shown += escaped(next);
            ++position;
        } else {
            shown += utf8[position];
        }
    }
    return shown;
}

std::vector<size_t> columnWidths(const std::vector<TableRow>& rows)
{
    std::vector<size_t> widths;
    for (const TableRow& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], characters(consoleText(row[column])));
    }
    return widths;
}

std::string tableLine(const TableRow& row, const std::vector<size_t>& widths)
{
    std::string line;
    for (size_t column = 0; column < row.size(); ++column) {
        const std::string cell = consoleText(row[column]);
        line += cell;
        if (column + 1 < row.size() && column < widths.size())
            line += std::string(widths[column] - std::min(widths[column], characters(cell)) + 2, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}
