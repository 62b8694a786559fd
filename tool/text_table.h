#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Tables of UTF-8 text for a console: columns two blanks apart, each as wide
// as its longest text in characters.

// The text with each control character (C0, DEL and C1: escape sequences,
// line breaks) written out as "\u001B", so that no text of a file or of the
// network can recolour the console, move its cursor or break a line.
// Tables show their cells this way; messages show names this way.
std::string consoleText(const std::string& utf8);

using TableRow = std::vector<std::string>;

std::vector<size_t> columnWidths(const std::vector<TableRow>& rows);

// One row laid out in the widths, without blanks at its end; cells as
// consoleText shows them.
std::string tableLine(const TableRow& row, const std::vector<size_t>& widths);
