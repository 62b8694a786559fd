#include "tool/presets_tool.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "persist/file_io.h"
#include "riverra_version.h"
#include "tool/code_page.h"
#include "tool/commands.h"

namespace {

using AddCommand = Command (*)(CLI::App& program, ToolContext& context);
constexpr AddCommand kCommands[] = {addShowCommand, addExportCommand, addImportCommand, addCheckCommand,
                                 addProbeCommand, addDiscoverCommand};

// What a command printed must have arrived: output that a full disk or a
// closed pipe swallowed is a failure, not a success.
int withCheckedOutput(int exitCode, const ToolContext& context)
{
    clearFileFault();
    if (context.io.out.flush())
        return exitCode;
    const std::string reason = lastFileReason();
    context.io.err << "standard output: cannot be written" << (reason.empty() ? "" : ": " + reason);
    if (!context.configWritten.empty())
        context.io.err << "; " << context.configWritten << " was written all the same";
    context.io.err << '\n';
    return kNotWritten;
}

}  // namespace

CLI::Validator writtenConfigFile()
{
    return CLI::Validator(
        [](const std::string& value) {
            return value == "-" ? std::string("a config.dat is written as a file: name one, not - (standard "
                                              "input or output)")
                                : std::string();
        },
        "CONFIG");
}

int runPresetsTool(const std::vector<std::string>& arguments, ToolIo& io)
{
    CLI::App program("Readable export, import and check of the presets in the Riverra editor's config.dat, and a "
                     "probe of their sources and the search for sources on the network.",
                     "riverra-presets");
    program.set_version_flag(
        "--version", "riverra-presets " RIVERRA_PRODUCT_VERSION " (file version " RIVERRA_FILE_VERSION ")");
    program.require_subcommand(1);
    program.fallthrough();
    program.footer("Presets and endpoints are numbered from 0; - names standard input or output. Exit codes: 0 "
                   "done; 1 the input was refused, nothing written; 2 wrong usage; 3 a file or standard output could "
                   "not be written (the message says which, and whether an old file is kept); 4 import --dry-run: "
                   "config.dat would change.");
    unsigned codePageNumber = 0;
    program.add_option("--codepage", codePageNumber,
                       "code page of the texts in config.dat (default: the system's ANSI code page on Windows, "
                       "1252 elsewhere)");

    ToolContext context{io, nullptr, {}};
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
            return withCheckedOutput(command.run(), context);
    }
    return kWrongUsage;
}
