#pragma once

#include <cstddef>
#include <string>

// A text from the network as the tool may print it: control characters
// become blanks, blanks at the ends go, and it is cut to `limit` bytes at a
// character boundary.
std::string printableText(const std::string& text, size_t limit = 120);

// ASCII letters in lower case, for the names and tokens of protocols.
std::string lowerCase(std::string text);
