#include "tool/presets_tool.h"

#include <CLI/CLI.hpp>

#include <memory>

#include "riverra_version.h"
#include "tool/code_page.h"
#include "tool/commands.h"

namespace {

using AddCommand = Command (*)(CLI::App& program, ToolContext& context);
constexpr AddCommand kCommands[] = {addShowCommand, addExportCommand, addImportCommand, addCheckCommand,
                                 addProbeCommand, addDiscoverCommand};

// What a command printed must have arrived: output that a full disk or a
// closed pipe swallowed is a failure, not a success.
int withCheckedOutput(int exitCode, ToolIo& io)
{
    if (io.out.flush())
        return exitCode;
    io.err << "standard output: cannot be written\n";
    return kNotWritten;
}

}  // namespace

int runPresetsTool(const std::vector<std::string>& arguments, ToolIo& io)
{
    CLI::App program("Readable export, import and check of the presets in the Riverra editor's config.dat, and a "
                     "probe of their sources and the search for sources on the network.",
                     "riverra-presets");
    program.set_version_flag(
        "--version", "riverra-presets " RIVERRA_PRODUCT_VERSION " (file version " RIVERRA_FILE_VERSION ")");
    program.require_subcommand(1);
    program.fallthrough();
    program.footer("Presets and endpoints are numbered from 0. Exit codes: 0 done; 1 the input was refused, "
                   "nothing written; 2 wrong usage; 3 the output could not be written, an old file is kept; 4 import "
                   "--dry-run: config.dat would change.");
    unsigned codePageNumber = 0;
    program.add_option("--codepage", codePageNumber,
                       "code page of the texts in config.dat (default: the system's ANSI code page on Windows, "
                       "1252 elsewhere)");

    ToolContext context{io};
    std::vector<Command> commands;
    for (AddCommand add : kCommands)
        commands.push_back(add(program, context));

    try {
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        program.parse(reversed);
    } catch (const CLI::ParseError& error) {
        return program.exit(error, io.out, io.err) == 0 ? kDone : kWrongUsage;
    }

    const std::unique_ptr<CodePage> codePage = codePageNumber == 0 ? platformCodePage() : namedCodePage(codePageNumber);
    if (!codePage) {
        io.err << "--codepage: code page " << codePageNumber << " is not supported by this build\n";
        return kWrongUsage;
    }
    context.codePage = codePage.get();
    for (const Command& command : commands) {
        if (command.arguments->parsed())
            return withCheckedOutput(command.run(), io);
    }
    return kWrongUsage;
}
