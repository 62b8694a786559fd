#pragma once

#include <functional>
#include <string>

#include "tool/tool_files.h"

namespace CLI {
class App;
class Validator;
}  // namespace CLI
class CodePage;

// What the commands share: the streams, and the code page of config.dat,
// known once the command line has been parsed.
struct ToolContext {
    ToolIo& io;
    const CodePage* codePage = nullptr;
    // The config.dat a command has written, once it has: a failure of the
    // output stream afterwards must not claim it was kept as it was.
    std::string configWritten;
};

// Refuses "-" for a config.dat that a command writes: standard input and
// output cannot be replaced as a file is.
CLI::Validator writtenConfigFile();

// A command of the program: its part of the command line, and what runs when
// it was chosen (returns the exit code).
struct Command {
    CLI::App* arguments;
    std::function<int()> run;
};

// One function per command, each in a source file of its own; a new command
// adds its function here and to the list in presets_tool.cpp.
Command addShowCommand(CLI::App& program, ToolContext& context);
Command addExportCommand(CLI::App& program, ToolContext& context);
Command addImportCommand(CLI::App& program, ToolContext& context);
Command addCheckCommand(CLI::App& program, ToolContext& context);
Command addProbeCommand(CLI::App& program, ToolContext& context);
Command addDiscoverCommand(CLI::App& program, ToolContext& context);
