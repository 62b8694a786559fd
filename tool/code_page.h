#pragma once

#include <memory>

#include "model/code_page.h"

// The code page of config.dat on this platform: the system's ANSI code page
// on Windows, 1252 elsewhere.
std::unique_ptr<CodePage> platformCodePage();
// A code page named on the command line; null when this build lacks it.
std::unique_ptr<CodePage> namedCodePage(unsigned number);
