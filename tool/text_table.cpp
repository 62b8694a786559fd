#include "tool/text_table.h"

#include <algorithm>

#include "tool/code_page.h"

namespace {

size_t characters(const std::string& utf8)
{
    std::u32string codePoints;
    return decodeUtf8(utf8, codePoints) ? codePoints.size() : utf8.size();
}

}  // namespace

std::vector<size_t> columnWidths(const std::vector<TableRow>& rows)
{
    std::vector<size_t> widths;
    for (const TableRow& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], characters(row[column]));
    }
    return widths;
}

std::string tableLine(const TableRow& row, const std::vector<size_t>& widths)
{
    std::string line;
    for (size_t column = 0; column < row.size(); ++column) {
        line += row[column];
        if (column + 1 < row.size() && column < widths.size())
            line += std::string(widths[column] - std::min(widths[column], characters(row[column])) + 2, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}
