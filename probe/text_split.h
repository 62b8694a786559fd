#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Lines and words of texts from the network. (Not with string streams: they
// would bring the C++ library's locale and stream code into the editor.)

// The next line of `text` from `at` on, without its line end ("\n", "\r\n",
// or a "\r" that ends the text); false when nothing is left. Advances `at`
// past the line.
bool nextLine(const std::string& text, size_t& at, std::string& line);

// `text` without the spaces, tabs and carriage returns around it, as
// protocol headers are read.
std::string trimmed(const std::string& text);

// The words of `text`: runs of characters between blanks (space, tab, line
// and page ends), at most `limit` of them.
std::vector<std::string> splitWords(const std::string& text, size_t limit = static_cast<size_t>(-1));
