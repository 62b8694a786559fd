#pragma once

#include <string>
#include <vector>

#include "tool/tool_files.h"

// riverra-presets: readable export, import and check of config.dat. Runs the
// program on its arguments (UTF-8, without the program's name) and returns
// the exit code (ExitCode).
int runPresetsTool(const std::vector<std::string>& arguments, ToolIo& io);
