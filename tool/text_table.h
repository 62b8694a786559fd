#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Tables of UTF-8 text for a console: columns two blanks apart, each as wide
// as its longest text in characters.

using TableRow = std::vector<std::string>;

std::vector<size_t> columnWidths(const std::vector<TableRow>& rows);

// One row laid out in the widths, without blanks at its end.
std::string tableLine(const TableRow& row, const std::vector<size_t>& widths);
